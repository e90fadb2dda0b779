program P;
uses U;
const c = 'a''b'#13;
var a, b: Integer;
procedure X(A: Integer; var B: string);
var l: TObject;
begin
  if not a = -1 then b := (a + $1F) / 2.5e3 else exit;
  for a := 0 to 3 do begin if a < 1 then continue; break end;
  try with o.p[1] do q(@X, [1, 2]) finally z end
end;
function F: Boolean;
begin
  Result := Sender is TForm
end;
begin
end.
