program pasprog;
{ The Pascal program the gdb kernel's tests debug. Tests find their lines by the markers
  "@name" in comments. }

function Twice(N: Integer): Integer;
var
  R: Integer;
begin
  R := N * 2; { @twice }
  Twice := R;
end;

var
  I, S: Integer;
begin
  S := 0;
  for I := 1 to 3 do
    S := S + Twice(I); { @call }
  WriteLn('sum ', S);
  Halt(S);
end.
