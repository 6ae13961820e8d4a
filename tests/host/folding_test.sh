# nxs outline and the folding commands of nxs ed: exact output, errors, and folded blocks
# that stay folded when a re-parse finds them again.
. "$(dirname "$0")/lib.sh"

printf 'unit u;\ninterface\ntype\n  TFoo = class(TObject)\n    procedure A;\n  end;\nimplementation\nprocedure TFoo.A;\nbegin\n  x := 1;\nend;\n{ a\n  b }\nend;\nend.\n' > u.pas
expect_out "a Pascal unit" "2 6 interface interface
  4 6 class TFoo = class(TObject)
7 15 implementation implementation
  8 11 routine procedure TFoo.A;
  12 13 comment { a
u.pas:14:1: error: 'end' without a matching begin" "$NXS" outline u.pas

printf '#include <a>\n#include <b>\nint a;\nvoid f() {\n  {\n  }\n}\n}\n' > c.CPP
expect_out "a C++ file, its extension in capitals" "1 2 includes #include ...
4 7 function void f()
  5 6 block 
c.CPP:8:1: error: '}' without a matching '{'" "$NXS" outline c.CPP

touch notes.txt
expect_status "a file no parser reads" 1 "nxs: no region parser for '$WORK/notes.txt' (Pascal and C/C++ files have one)" \
  "$NXS" outline notes.txt
expect_status "a missing file" 1 "nxs: Cannot read file '$WORK/missing.pas'" "$NXS" outline missing.pas

# A routine folded, then typed into: the re-parse finds the same range and description and
# keeps it folded; a routine whose header changed comes back unfolded.
err="$WORK/u.pas:14:1: error: 'end' without a matching begin"
expect_out "folds across re-parses" "$err
{{8,0},{11,3},{'procedure TFoo.A;'}}
$err
{{8,0},{11,3},{'procedure TFoo.A;'}}
$err" "$NXS" ed u.pas --script <(printf 'Parse\nFold 8\nFolds\nGoToLine 10 3\nInsertText y\nParse\nFolds\nGoToLine 8 17\nInsertText 2\nParse\nFolds\n')
expect_status "folding where no block is" 1 "nxs: line 2: no foldable block at line 1" \
  "$NXS" ed u.pas --script <(printf 'Parse\nFold 1\n')
finish
