# nxs options and nxs history on a fresh settings directory.
. "$(dirname "$0")/lib.sh"

expect_out "Pascal sources" "Tarvos.EditOptions.Pascal" "$NXS" options filetype main.pas
expect_out "C++ sources" "Tarvos.EditOptions.C" "$NXS" options filetype shapes.cpp
expect_out "an unknown extension" "Tarvos.EditOptions.Default" "$NXS" options filetype notes.zzz
expect_out "search flags by default" "sfWholeFile sfFromCursor sfGoForward" "$NXS" options searchflags
checks=$((checks + 1))
[ "$("$NXS" options show | grep -c '^\[')" -gt 10 ] || fail "every option set shows"
expect_status "an out-of-range value is refused" 1 "" "$NXS" options set 'Editor\Options' 'Undo Limit' many
checks=$((checks + 1))
[ -e "$NXS_SETTINGS_DIR/settings.ini" ] && [ -n "$(grep -i 'undo limit' "$NXS_SETTINGS_DIR/settings.ini")" ] \
  && fail "a refused value is not stored"

# Eleven backups with the limit at ten: one more removes only the lowest and numbers past the highest.
echo "text" > main.pas
mkdir __history
for n in 1 2 3 4 5 6 7 8 9 10 12; do echo "old $n" > "__history/main.pas.~$n~"; done
expect_status "limit 10" 0 "" "$NXS" options set 'Editor\Options' 'File Backup Level' 10
expect_out "a backup" "$PWD/__history/main.pas.~13~" "$NXS" history backup main.pas
checks=$((checks + 1))
[ -e "__history/main.pas.~1~" ] && fail "the lowest-numbered backup is removed"
[ -e "__history/main.pas.~2~" ] && [ -e "__history/main.pas.~10~" ] || fail "only the lowest is removed"
same_file "the backup holds the file" main.pas "__history/main.pas.~13~"

expect_status "add a favourite" 0 "" "$NXS" history favorites add "$PWD/a, \"quoted\".pas"
expect_out "favourites" "$PWD/a, \"quoted\".pas" "$NXS" history favorites
expect_status "remove it" 0 "" "$NXS" history favorites remove "$PWD/a, \"quoted\".pas"
expect_out "no favourites" "" "$NXS" history favorites
finish
