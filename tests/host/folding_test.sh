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

# Every conditional directive of each language opens a region that its end closes.
printf '{$IFNDEF A}\nx;\n{$ENDIF}\n{$IFOPT R+}\ny;\n{$IFEND}\n{$IF defined(B)}\nz;\n{$ENDIF}\n{$IFDEF C}\n{$ifdef D}\nw;\n{$endif}\n{$ENDIF}\n' > d.pas
expect_out "Pascal conditionals" "1 3 ifdef {\$IFNDEF A}
4 6 ifdef {\$IFOPT R+}
7 9 ifdef {\$IF defined(B)}
10 14 ifdef {\$IFDEF C}
  11 13 ifdef {\$ifdef D}" "$NXS" outline d.pas
printf '#ifndef G_H\n#define G_H\n#ifdef X\nint a;\n#endif\n#if Y\nint b;\n#endif\n#endif\n' > g.h
expect_out "C conditionals and an include guard" "1 9 if #ifndef G_H
  3 5 if #ifdef X
  6 8 if #if Y" "$NXS" outline g.h

# Every extension of each personality's sources has its parser.
printf 'void f() {\n  x;\n}' > l.cpp
for e in pas pp inc vpr lpr vpk c cc cpp cxx h hh hpp hxx tcc ipp; do
  cp l.cpp "x.$e"
  checks=$((checks + 1))
  out=$("$NXS" outline "x.$e" 2>&1 | head -1)
  case $e in
    pas | pp | inc | vpr | lpr | vpk) want="1 3 comment {" ;;
    *) want="1 3 function void f()" ;;
  esac
  [ "$out" == "$want" ] || fail "x.$e: $out"
done

# A block on the first line that ends on the last one (no line break after it) folds, from
# its first line and from its last.
expect_out "a block over the whole file" "{{1,9},{3,1},{'void f\\(\\)'}}
{{1,9},{3,1},{'void f\\(\\)'}}" "$NXS" ed l.cpp --script <(printf 'Parse\nFold 3\nFolds\nUnfoldAll\nFold 1\nFolds\n')

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
