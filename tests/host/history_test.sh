# nxs history backup at the edges of the two backup schemes: a backup keeps its file's time,
# a second single copy replaces the first, and only names this system writes count as backups.
. "$(dirname "$0")/lib.sh"

# A backup carries the time of the text it keeps, not the time it was made.
printf 'one\n' > kept.txt
touch -d '2020-01-02 03:04:05' kept.txt
expect_out "a numbered backup" "$WORK/__history/kept.txt.~1~" "$NXS" history backup kept.txt
checks=$((checks + 1))
[ "$(stat -c %Y __history/kept.txt.~1~)" == "$(stat -c %Y kept.txt)" ] ||
  fail "the backup has the file's time: $(stat -c %y __history/kept.txt.~1~)"

# Only FILE.~N~ names are backups: a file named FILE.~ in the history folder is neither counted
# nor removed when the limit is reached.
printf 'text\n' > u.pas
printf 'not a backup\n' > '__history/u.pas.~'
expect_status "limit 2" 0 "" "$NXS" options set 'Editor\Options' 'File Backup Level' 2
for n in 1 2 3; do
  expect_out "backup $n" "$WORK/__history/u.pas.~$n~" "$NXS" history backup u.pas
done
checks=$((checks + 1))
[ "$(cat '__history/u.pas.~')" == "not a backup" ] || fail "a file that is no backup was taken for one"
[ ! -e '__history/u.pas.~1~' ] && [ -e '__history/u.pas.~2~' ] || fail "the limit kept the wrong backups: $(ls __history)"

# With numbered backups off, the single copy FILE.~EXT is replaced by each backup.
expect_status "single copies" 0 "" "$NXS" options set 'Editor\Options' 'Create Backup File' false
printf 'first\n' > a.txt
expect_out "the first copy" "$WORK/a.~txt" "$NXS" history backup a.txt
printf 'second\n' > a.txt
expect_out "the second copy" "$WORK/a.~txt" "$NXS" history backup a.txt
[ "$(cat a.~txt)" == "second" ] || fail "the second copy replaces the first: $(cat a.~txt)"
printf 'bare\n' > noext
expect_out "a name without extension" "$WORK/noext.~" "$NXS" history backup noext
finish
