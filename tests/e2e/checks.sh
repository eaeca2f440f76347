# Sourced by the .check hooks: what setup.exe left in the scenario's prefix,
# looked at from outside (files on the Linux side, `wine reg query`).
set -u
windows="$WINEPREFIX/drive_c/windows"
bfax="$windows/bfax"
sample="$E2E_ROOT_DIR/dist/sample"
product_key='HKLM\Software\Morvik Communication\Loxbrine'
services_key='HKLM\System\CurrentControlSet\Services'

fail() {
    echo "check: $*"
    exit 1
}

# TYPE and data of a registry value ("" when missing).
reg_value() {  # KEY NAME
    wine reg query "$1" /v "$2" </dev/null 2>/dev/null | LC_ALL=C tr -d '\r' |
        LC_ALL=C sed -n "s/^    $2    \(REG_[A-Z_]*\)    \(.*\)$/\1 \2/p"
}

expect_value() {  # KEY NAME "TYPE DATA"
    local seen
    seen=$(reg_value "$1" "$2")
    [ "$seen" = "$3" ] || fail "$1 $2: expected '$3', saw '$seen'"
}

expect_key_absent() {  # KEY
    ! wine reg query "$1" </dev/null >/dev/null 2>&1 || fail "$1 still exists"
}

# File content given as printf text (\r\n and friends).
expect_bytes() {  # FILE PRINTF-TEXT
    [ -f "$1" ] || fail "$1 is missing"
    cmp -s "$1" <(printf "$2") || fail "$1 differs: $(od -c "$1" | head -5)"
}

# Destination of a Files.ini name: the part after the last backslash, in
# bfax\morvik for an entry whose placement holds an A.
destination_of() {  # NAME PLACEMENT
    local base=${1##*\\}
    case "$2" in
        *A*) echo "$bfax/morvik/$base" ;;
        *) echo "$bfax/$base" ;;
    esac
}

# The entries of the sample's Files.ini: "name placement" lines.
sample_entries() {
    tr -d '\r' <"$sample/Files.ini" | awk -F, '{ n = 0; for (i = 1; i <= NF; i++) if ($i != "") f[++n] = $i;
        if (n == 3) print f[1], f[2] }'
}

# Every listed file lies in place, byte for byte as in the sample
# distribution (the packed ones expanded), except the names given.
expect_sample_files_installed() {  # [EXCEPT...]
    local name placement source
    while read -r name placement; do
        case " $* " in *" ${name##*\\} "*) continue ;; esac
        source="$sample/${name//\\//}"
        cmp -s "$source" "$(destination_of "$name" "$placement")" ||
            fail "$(destination_of "$name" "$placement") is not $source"
    done < <(sample_entries)
}

# btcall.cfg as the sample has it, with the Windows directory filled in and
# the DID lines rewritten.
expect_btcall() {  # VARIABLE DIGITS wink|immediate
    local expected
    expected=$(tr -d '\r' <"$sample/btcall.cfg" |
        sed -e 's/%windir%/c:\\windows/g' \
            -e "s/^did_variable .*/$(printf '%-24s%s' did_variable "$1")/" \
            -e "s/^did_digits .*/$(printf '%-24s%s' did_digits "$2")/" \
            -e "s/^wink\$/$3/" | sed 's/$/\r/')
    cmp -s "$bfax/morvik/btcall.cfg" <(printf '%s\n' "$expected") ||
        fail "btcall.cfg differs: $(diff <(printf '%s\n' "$expected") "$bfax/morvik/btcall.cfg")"
}

expect_install_record() {
    expect_value "$product_key" BaseDirectory 'REG_SZ C:\windows\bfax'
    local date time
    date=$(reg_value "$product_key" InstallDate)
    time=$(reg_value "$product_key" InstallTime)
    [ "$date" = "REG_DWORD $(printf '0x%x' "$(date +%Y%m%d | sed 's/^0*//')")" ] || fail "InstallDate is '$date'"
    [[ "$time" =~ ^REG_DWORD\ 0x[0-9a-f]+$ ]] || fail "InstallTime is '$time'"
    local hhmmss=$((${time#REG_DWORD }))
    [ $((hhmmss / 10000)) -lt 24 ] && [ $((hhmmss / 100 % 100)) -lt 60 ] && [ $((hhmmss % 100)) -lt 60 ] ||
        fail "InstallTime $hhmmss is not a time of day"
}

# The two service records, faxinit depending on the driver (Wine keeps
# ImagePath as REG_SZ; a kernel driver never starts there).
expect_services_created() {
    local bfax_key="$services_key\\bfax" init_key="$services_key\\faxinit"
    expect_value "$bfax_key" Type 'REG_DWORD 0x1'
    expect_value "$init_key" Type 'REG_DWORD 0x10'
    [[ "$(reg_value "$init_key" ImagePath)" == *' %SystemRoot%\bfax\runfaxin.exe' ]] || fail "faxinit ImagePath"
    [[ "$(reg_value "$init_key" DependOnService)" == 'REG_MULTI_SZ bfax'* ]] || fail "faxinit does not depend on bfax"
}

expect_services_absent() {
    expect_key_absent "$services_key\\bfax"
    expect_key_absent "$services_key\\faxinit"
}

# The driver's parameters that follow from the settings: IRQ and DMA channel.
expect_driver_parameters() {  # IRQ DMA
    local key="$services_key\\bfax\\Parameters"
    expect_value "$key" BFAX_HW_INT "REG_DWORD $(printf '0x%x' "$1")"
    expect_value "$key" HW_INTR_LEVEL "REG_DWORD $(printf '0x%x' "$1")"
    expect_value "$key" BFAX_DMA_CHAN "REG_DWORD $(printf '0x%x' "$2")"
}

# Nothing of an installation anywhere.
expect_nothing_installed() {
    [ ! -e "$bfax" ] || fail "$bfax exists"
    expect_key_absent "$product_key"
    expect_services_absent
}

# The installation of the sample answers: two ISA boards (300 with 4
# channels, 340 with 2), a PCI board, IRQ 10, DMA 3, 6 variable DID digits
# with immediate start.
expect_two_isa_installation() {
    expect_sample_files_installed btcall.cfg
    expect_btcall 1 6 immediate
    expect_bytes "$bfax/faxinit.cfg" 'addrs 304 4\r\naddrs 344 2\r\n'
    expect_install_record
    expect_services_created
    expect_driver_parameters 10 3
}

# ---- what the screen showed ----------------------------------------------------------

# The screenshot the driver took as step NAME.
shot() {  # NAME
    local file
    file=$(ls "$E2E_OUT_DIR"/[0-9][0-9]-"$1".png 2>/dev/null | head -1)
    [ -n "$file" ] || fail "no screenshot $1"
    echo "$file"
}

# Where the Nth window measured by expect-client had its client area:
# "X Y W H" in screen pixels.
client_area() {  # N
    tr -d '\r' <"$E2E_OUT_DIR/driver.log" | grep '^  client at ' | sed -n "${1}p" |
        sed 's/^  client at \(-*[0-9]*\),\(-*[0-9]*\) size \([0-9]*\)x\([0-9]*\)$/\1 \2 \3 \4/'
}

# Windows' MulDiv for non-negative numbers: a * b / c to the nearest integer.
muldiv() { echo $((($1 * $2 + $3 / 2) / $3)); }

# The pixels of a region that are exactly COLOUR, all others black: text
# drawn in a pure colour leaves exactly those, whatever lies beneath.
ink() {  # PNG X Y W H COLOUR OUT
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -fill '#010203' -opaque "$6" \
        -fill black +opaque '#010203' -fill white -opaque '#010203' "$7"
}

# Compares the white text and the black shadow of one region of two
# screenshots; fails unless they agree pixel for pixel and there is text.
expect_same_text() {  # WHAT PNG-A X-A Y-A PNG-B X-B Y-B W H
    local what=$1 colour a b differing inked
    a=$(mktemp --suffix=.png)
    b=$(mktemp --suffix=.png)
    for colour in white black; do
        ink "$2" "$3" "$4" "$8" "$9" "$colour" "$a"
        ink "$5" "$6" "$7" "$8" "$9" "$colour" "$b"
        differing=$(compare -metric AE "$a" "$b" null: 2>&1)
        inked=$(convert "$a" -format '%[fx:int(mean*w*h+.5)]' info:)
        if [ "$differing" != 0 ] || [ "$inked" -lt 200 ]; then
            cp "$a" "$E2E_OUT_DIR/$what-$colour-shown.png"
            cp "$b" "$E2E_OUT_DIR/$what-$colour-expected.png"
            rm -f "$a" "$b"
            fail "$what: the $colour pixels of $2 differ from $5 in $differing of ${8}x$9 ($inked inked)"
        fi
        echo "$what: $inked $colour pixels, as expected"
    done
    rm -f "$a" "$b"
}

# The gradient of the main window's client area (X Y W H): band i of 63
# covers the rows MulDiv(H, i, 63) to MulDiv(H, i + 1, 63) - 1 in blue
# MulDiv(255, 63 - i, 63). Sampled in the column X + 1, clear of the texts.
expect_gradient() {  # PNG X Y W H
    local column i top bottom blue seen
    column=$(convert "$1" -crop "1x$5+$(($2 + 1))+$3" +repage -depth 8 txt:- |
        sed -n 's/^0,\([0-9]*\): ([ ]*\([0-9]*\),[ ]*\([0-9]*\),[ ]*\([0-9]*\).*/\1 \2 \3 \4/p')
    for i in $(seq 0 62); do
        top=$(muldiv "$5" "$i" 63)
        bottom=$(($(muldiv "$5" $((i + 1)) 63) - 1))
        blue=$(muldiv 255 $((63 - i)) 63)
        for row in "$top" "$bottom"; do
            seen=$(echo "$column" | awk -v row="$row" '$1 == row { print $2, $3, $4 }')
            [ "$seen" = "0 0 $blue" ] || fail "band $i, row $row: expected 0 0 $blue, saw '$seen'"
        done
    done
    echo "gradient: 63 bands, blue $(muldiv 255 63 63) at the top, $(muldiv 255 1 63) at the bottom"
}

# ---- the log of a run ----------------------------------------------------------------

# Every text stands in some line of the log (after the line's time).
expect_log_lines() {  # FILE TEXT...
    local file=$1 text
    shift
    [ -f "$file" ] || fail "$file is missing"
    for text in "$@"; do
        grep -qF -- "$text" "$file" || fail "$file has no line with '$text':
$(cat "$file")"
    done
}
