# Sourced by the .check hooks: what setup.exe left in the scenario's prefix,
# looked at from outside (files on the Linux side, `wine reg query`).
set -u
windows="$WINEPREFIX/drive_c/windows"
bfax="$windows/bfax"
sample="$E2E_ROOT_DIR/dist/sample"
product_key='HKLM\Software\Morvik Communication\Loxbrine'
services_key='HKLM\System\CurrentControlSet\Services'
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LoxbrineBrooktroutDrivers'

fail() { echo "check: $*"; exit 1; }

reg_value() {  # KEY NAME: "TYPE DATA", "" when missing
    wine reg query "$1" /v "$2" </dev/null 2>/dev/null | LC_ALL=C tr -d '\r' |
        LC_ALL=C sed -n "s/^    $2    \(REG_[A-Z_]*\)    \(.*\)$/\1 \2/p"
}

expect_value() {  # KEY NAME "TYPE DATA"
    local seen
    seen=$(reg_value "$1" "$2")
    [ "$seen" = "$3" ] || fail "$1 $2: expected '$3', saw '$seen'"
}

expect_key_absent() { ! wine reg query "$1" </dev/null >/dev/null 2>&1 || fail "$1 still exists"; }

expect_bytes() {  # FILE PRINTF-TEXT
    [ -f "$1" ] || fail "$1 is missing"
    cmp -s "$1" <(printf "$2") || fail "$1 differs: $(od -c "$1" | head -5)"
}

expect_btcall() {  # VARIABLE DIGITS wink|immediate: the sample's, %windir% and DID lines set
    local expected
    expected=$(tr -d '\r' <"$sample/btcall.cfg" | sed -e 's/%windir%/c:\\windows/g' \
        -e "s/^did_variable .*/$(printf '%-24s%s' did_variable "$1")/" \
        -e "s/^did_digits .*/$(printf '%-24s%s' did_digits "$2")/" -e "s/^wink\$/$3/" | sed 's/$/\r/')
    cmp -s "$bfax/morvik/btcall.cfg" <(printf '%s\n' "$expected") ||
        fail "btcall.cfg differs: $(diff <(printf '%s\n' "$expected") "$bfax/morvik/btcall.cfg")"
}

expect_services_created() {  # faxinit depending on the driver
    expect_value "$services_key\\bfax" Type 'REG_DWORD 0x1'
    expect_value "$services_key\\faxinit" Type 'REG_DWORD 0x10'
    [[ "$(reg_value "$services_key\\faxinit" ImagePath)" == *' %SystemRoot%\bfax\runfaxin.exe' ]] || fail "ImagePath"
    [[ "$(reg_value "$services_key\\faxinit" DependOnService)" == 'REG_MULTI_SZ bfax'* ]] ||
        fail "faxinit does not depend on bfax"
}

expect_services_absent() { expect_key_absent "$services_key\\bfax" && expect_key_absent "$services_key\\faxinit"; }

expect_two_isa_installation() {  # the sample answers, byte for byte
    local name placement
    while IFS=, read -r name placement _; do
        [ "$placement" = x ] || continue  # btcall.cfg (A) is edited
        cmp -s "$sample/${name//\\//}" "$bfax/${name##*\\}" || fail "$bfax/${name##*\\} is not $sample/${name//\\//}"
    done <"$sample/Files.ini"
    expect_btcall 1 6 immediate
    expect_bytes "$bfax/faxinit.cfg" 'addrs 304 4\r\naddrs 344 2\r\n'
    expect_value "$product_key" BaseDirectory 'REG_SZ C:\windows\bfax'
    expect_value "$product_key" InstallDate "REG_DWORD $(printf '0x%x' "$(date +%Y%m%d)")"
    expect_services_created
    expect_value "$services_key\\bfax\\Parameters" BFAX_HW_INT 'REG_DWORD 0xa'
    expect_value "$services_key\\bfax\\Parameters" HW_INTR_LEVEL 'REG_DWORD 0xa'
    expect_value "$services_key\\bfax\\Parameters" BFAX_DMA_CHAN 'REG_DWORD 0x3'
}

expect_entry() {  # the entry in Programs and Features, naming the copy of C:\dist's setup.exe
    local copy='C:\windows\bfax\setup.exe' bytes value
    cmp -s "$bfax/setup.exe" "$WINEPREFIX/drive_c/dist/setup.exe" || fail "$bfax/setup.exe is not the distribution's"
    bytes=$(find "$bfax" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    for value in 'DisplayName|REG_SZ Brooktrout drivers for Quorindel Loxbrine' 'DisplayVersion|REG_SZ 4.3' \
        'Publisher|REG_SZ Morvik Communication' 'InstallLocation|REG_SZ C:\windows\bfax' "DisplayIcon|REG_SZ $copy" \
        "UninstallString|REG_SZ \"$copy\" /remove" "QuietUninstallString|REG_SZ \"$copy\" /silent /remove" \
        "InstallDate|REG_SZ $(date +%Y%m%d)" "EstimatedSize|REG_DWORD $(printf '0x%x' $(((bytes + 1023) / 1024)))" \
        'NoModify|REG_DWORD 0x1' 'NoRepair|REG_DWORD 0x1'; do
        expect_value "$entry_key" "${value%%|*}" "${value#*|}"
    done
}
