// Unit DeviceList: the list of devices a search found (form
// TfrmDeviceList). Each row keeps its line number in the plug-in's list as
// its data, so the checked rows go back as those numbers.
unit DeviceList;

const
  sepII = '||';

// One checked row per line of Text: field 1 the caption, fields 2 to 7 the
// sub-items (a field a line lacks is empty).
procedure StrToList(Text: string; List: TTntListView);
var
  Lines: TStringList;
  i, k: Integer;
  Item: TListItem;
begin
  Lines := TStringList.Create;
  try
    Lines.Text := Text;
    for i := 0 to Lines.Count - 1 do
    begin
      Item := List.Items.Add;
      Item.Data := Int2Obj(i);
      Item.Checked := True;
      Item.Caption := GetParam(Lines.Strings[i], sepII, 1);
      for k := 2 to 7 do
        Item.SubItems.Add(GetParam(Lines.Strings[i], sepII, k));
    end;
  finally
    Lines.Free;
  end;
end;

// The data numbers of the checked rows in row order, one a line; empty
// when no row is checked.
function ListChecksToStr(List: TTntListView): string;
var
  i: Integer;
begin
  Result := '';
  for i := 0 to List.Items.Count - 1 do
  begin
    if not List.Items.Item[i].Checked then
      continue;
    if Result <> '' then
      Result := Result + LineEnding;
    Result := Result + IntToStr(Obj2Int(List.Items.Item[i].Data));
  end;
end;

procedure DevListFormCreate(Sender: TObject);
begin
  CreateStdControls(Self);
end;

// "Select all" (tag 0) and "Unselect all" (tag 1).
procedure popSelAllValuesClick(Sender: TObject);
var
  i: Integer;
  Check: Boolean;
begin
  Check := TComponent(Sender).Tag = 0;
  for i := 0 to lvDevices.Items.Count - 1 do
    lvDevices.Items.Item[i].Checked := Check;
end;

procedure popInvAllValuesClick(Sender: TObject);
var
  i: Integer;
begin
  for i := 0 to lvDevices.Items.Count - 1 do
    with lvDevices.Items.Item[i] do
      Checked := not Checked;
end;

begin
end.
