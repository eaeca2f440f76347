# Sourced by the .check hooks: what setup.exe left in the scenario's prefix,
# looked at from outside (files on the Linux side, `wine reg query`).
set -u
windows="$WINEPREFIX/drive_c/windows"
bfax="$windows/bfax"
sample="$E2E_ROOT_DIR/dist/sample"
product_key='HKLM\Software\Morvik Communication\Loxbrine'
services_key='HKLM\System\CurrentControlSet\Services'

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

destination_of() {  # NAME PLACEMENT: its last part, in bfax\morvik for an A
    case "$2" in *A*) echo "$bfax/morvik/${1##*\\}" ;; *) echo "$bfax/${1##*\\}" ;; esac
}

sample_entries() {  # "name placement" per entry of the sample's Files.ini
    tr -d '\r' <"$sample/Files.ini" | awk -F, 'NF == 3 { print $1, $2 }'
}

expect_sample_files_installed() {  # [EXCEPT...]: byte for byte as in the sample
    local name placement
    while read -r name placement; do
        case " $* " in *" ${name##*\\} "*) continue ;; esac
        cmp -s "$sample/${name//\\//}" "$(destination_of "$name" "$placement")" ||
            fail "$(destination_of "$name" "$placement") is not $sample/${name//\\//}"
    done < <(sample_entries)
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
    [[ "$(reg_value "$services_key\\faxinit" ImagePath)" == *' %SystemRoot%\bfax\runfaxin.exe' ]] ||
        fail "faxinit ImagePath"
    [[ "$(reg_value "$services_key\\faxinit" DependOnService)" == 'REG_MULTI_SZ bfax'* ]] ||
        fail "faxinit does not depend on bfax"
}

expect_services_absent() { expect_key_absent "$services_key\\bfax" && expect_key_absent "$services_key\\faxinit"; }

expect_driver_parameters() {  # IRQ DMA
    local name
    for name in BFAX_HW_INT:$1 HW_INTR_LEVEL:$1 BFAX_DMA_CHAN:$2; do
        expect_value "$services_key\\bfax\\Parameters" "${name%:*}" "REG_DWORD $(printf '0x%x' "${name#*:}")"
    done
}

expect_nothing_installed() { [ ! -e "$bfax" ] || fail "$bfax exists"; expect_key_absent "$product_key"; expect_services_absent; }

expect_two_isa_installation() {  # the sample answers
    expect_sample_files_installed btcall.cfg
    expect_btcall 1 6 immediate
    expect_bytes "$bfax/faxinit.cfg" 'addrs 304 4\r\naddrs 344 2\r\n'
    expect_value "$product_key" BaseDirectory 'REG_SZ C:\windows\bfax'
    expect_value "$product_key" InstallDate "REG_DWORD $(printf '0x%x' "$(date +%Y%m%d | sed 's/^0*//')")"
    expect_services_created
    expect_driver_parameters 10 3
}

# ---- what the screen showed ----------------------------------------------------------

shot() {  # NAME: the screenshot the driver took as that step
    ls "$E2E_OUT_DIR"/[0-9][0-9]-"$1".png 2>/dev/null | head -1 | grep . || fail "no screenshot $1"
}

client_area() {  # N: "X Y W H" of the Nth client area measured by expect-client
    tr -d '\r' <"$E2E_OUT_DIR/driver.log" | grep '^  client at ' | sed -n "${1}p" |
        sed 's/^  client at \(-*[0-9]*\),\(-*[0-9]*\) size \([0-9]*\)x\([0-9]*\)$/\1 \2 \3 \4/'
}

muldiv() { echo $((($1 * $2 + $3 / 2) / $3)); }  # Windows' MulDiv, non-negative

ink() {  # PNG X Y W H COLOUR OUT: the pixels of exactly COLOUR white, all others black
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -fill '#010203' -opaque "$6" \
        -fill black +opaque '#010203' -fill white -opaque '#010203' "$7"
}

# The white text and black shadow of a region of two screenshots agree pixel
# for pixel, and there is text (a pure colour, whatever lies beneath). The
# last pair of masks compared stays beside the screenshots.
expect_same_text() {  # WHAT PNG-A X-A Y-A PNG-B X-B Y-B W H
    local colour differing inked a="$E2E_OUT_DIR/$1-shown.png" b="$E2E_OUT_DIR/$1-expected.png"
    for colour in white black; do
        ink "$2" "$3" "$4" "$8" "$9" "$colour" "$a"
        ink "$5" "$6" "$7" "$8" "$9" "$colour" "$b"
        differing=$(compare -metric AE "$a" "$b" null: 2>&1)
        inked=$(convert "$a" -format '%[fx:int(mean*w*h+.5)]' info:)
        [ "$differing" = 0 ] && [ "$inked" -ge 200 ] ||
            fail "$1: the $colour pixels of $2 differ from $5 in $differing of ${8}x$9 ($inked inked)"
        echo "$1: $inked $colour pixels, as expected"
    done
}

# The main window's gradient (client area X Y W H): band i of 63 covers rows
# MulDiv(H, i, 63) to MulDiv(H, i + 1, 63) - 1 in blue MulDiv(255, 63 - i, 63);
# sampled in the column X + 1, clear of the texts.
expect_gradient() {  # PNG X Y W H
    local column i row blue seen
    column=$(convert "$1" -crop "1x$5+$(($2 + 1))+$3" +repage -depth 8 txt:- |
        sed -n 's/^0,\([0-9]*\): ([ ]*\([0-9]*\),[ ]*\([0-9]*\),[ ]*\([0-9]*\).*/\1 \2 \3 \4/p')
    for i in $(seq 0 62); do
        blue=$(muldiv 255 $((63 - i)) 63)
        for row in "$(muldiv "$5" "$i" 63)" "$(($(muldiv "$5" $((i + 1)) 63) - 1))"; do
            seen=$(echo "$column" | awk -v row="$row" '$1 == row { print $2, $3, $4 }')
            [ "$seen" = "0 0 $blue" ] || fail "band $i, row $row: expected 0 0 $blue, saw '$seen'"
        done
    done
    echo "gradient: 63 bands as expected"
}

expect_log_lines() {  # FILE TEXT...: each text in some line
    local file=$1 text
    for text in "${@:2}"; do grep -qF -- "$text" "$file" || fail "$file has no line with '$text': $(cat "$file")"; done
}
