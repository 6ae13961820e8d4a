unit pasutil;

{$mode objfpc}{$H+}

interface

// The greeting in capitals, framed by stars.
function Shout(const Text: string): string;

implementation

uses SysUtils;

function Shout(const Text: string): string;
begin
  Result := '*** ' + UpperCase(Text) + ' ***';
end;

end.
