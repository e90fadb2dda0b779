// The options dialog's script (form TfrmOption): the request tree that
// edits the plug-in's request configuration, and the device search that the
// tree's pop-up menu starts. The search runs in the plug-in; the script
// drives it through the module's events SearchDevices, SearchDevicesStatus,
// SearchDevicesCancel and SearchDevicesGetXml.
program frmOption;

uses
  DeviceList, OpProgress;

const
  sepII = '||';
  PARAM_OPTION_VALUE_SEP = '==';
  PARAM_OPTION_LIST_SEP = '||';

var
  frmProgress: TForm;
  nProgressMax: Integer;
  sSearchId: string;
  propTree: TVirtualParamTreeviewEx;
  panButton: TWinControl;

// The request tree's node template, one node a line; leading blanks give
// the depth. Fields: node~caption (@message item)~editor~constraint~default.
function TreeTemplate: string;
begin
  Result := 'Request~@' + 'MsgReq' + '~dtCategory,Editable~~';
  Result := Result + LineEnding + ' Enabled~@' + 'MsgSendReq' + '~dtCheckbox~~2';
  Result := Result + LineEnding + ' Device~@' + 'MsgDevAddr' + '~dtValidChars~0123456789;,~0';
  Result := Result + LineEnding + ' StorageNo~@' + 'MsgStorageNo' + '~dtValidChars~0123456789;,~';
  Result := Result + LineEnding + ' TariffNo~@' + 'MsgTariffNo' + '~dtValidChars~0123456789;,~';
  Result := Result + LineEnding + ' FirstFrame~@' + 'MsgFirstFrame' + '~dtCheckbox~~0';
  Result := Result + LineEnding + ' ReadOnlyNew~@' + 'MsgReadOnlyNew' + '~dtCheckbox~~2';
  Result := Result + LineEnding + ' Timeout~@' + 'MsgReqTimeout' + '~dtInteger~1,65535~5000';
  Result := Result + LineEnding + ' RequestMethod~@' + 'MsgReqMethod' + '~dtCategory~~';
  Result := Result + LineEnding + '  MethodOnce~@' + 'MsgMOnce' + '~dtCheckbox,RadioButton~~0';
  Result := Result + LineEnding + '  MethodPoll~@' + 'MsgPolling' + '~dtCheckbox,RadioButton~~2';
  Result := Result + LineEnding + '   PollInterval~@' + 'MsgPollInt' + '~dtInteger~1,655350~30000';
  Result := Result + LineEnding + '   PollUnits~@' + 'MsgPollUnits' +
    '~dtComboDropDownValuesList~@' + 'PollUnitList' + '~MS';
  Result := Result + LineEnding + '  MethodAtTime~@' + 'MsgAtTime' + '~dtCheckbox,RadioButton~~0';
  Result := Result + LineEnding + '   AtTime~@' + 'MsgTime' + '~dtValidChars~0123456789:apm./;~12:00:00';
  Result := Result + LineEnding + '  MethodCron~@' + 'MsgCron' + '~dtCheckbox,RadioButton~~0';
  Result := Result + LineEnding + '   CronTime~@' + 'MsgCronMask' + '~dtValidChars~*0123456789/ ,-~0 0 12 * * *';
  Result := Result + LineEnding + '  MethodEvent~@' + 'MsgEvent' + '~dtCheckbox,RadioButton~~0';
  Result := Result + LineEnding + '   EventId~@' + 'MsgEventId' + '~dtUppercase~~EVENT-ID';
end;

// The poll units as a value list: caption==code, joined by ||.
function PollUnitValues: string;
begin
  Result := TxtMillisecond.Caption + PARAM_OPTION_VALUE_SEP + 'MS' + PARAM_OPTION_LIST_SEP +
    TxtSecond.Caption + PARAM_OPTION_VALUE_SEP + 'S' + PARAM_OPTION_LIST_SEP +
    TxtMinute.Caption + PARAM_OPTION_VALUE_SEP + 'M' + PARAM_OPTION_LIST_SEP +
    TxtHour.Caption + PARAM_OPTION_VALUE_SEP + 'H';
end;

procedure DlgTranslate(Sender: TObject);
begin
  Owner.Translate(Sender);
end;

function CreateDeviceListForm(Owner: TComponent; Sender: TObject): TForm;
begin
  if Sender is TForm then
    Result := TForm(Sender)
  else
    Result := CreateDynChildForm(Owner, 'DeviceList', 'frmDeviceList', 'TfrmDeviceList');
end;

function CreateOpProgressForm(Owner: TComponent; Sender: TObject): TForm;
begin
  if Sender is TForm then
    Result := TForm(Sender)
  else
    Result := CreateDynChildForm(Owner, 'OpProgress', 'frmOpProgress', 'TfrmOpProgress');
end;

procedure btnOKClick(Sender: TObject);
begin
  propTree.CancelEdit;
  Hide;
  lblParams.Caption := propTree.AsText;
end;

procedure btnCancelClick(Sender: TObject);
begin
  propTree.CancelEdit;
  Hide;
end;

// The error box for a key the plug-in answered with "!"; unknown keys show
// nothing.
procedure ShowSearchError(Key: string);
var
  Text: string;
begin
  Text := '';
  if Key = 'MsgNoComm' then
    Text := MsgNoComm.Caption;
  if Key = 'MsgReqTimeout' then
  begin
    Text := MsgReqTimeout.Caption;
    if Pos('(', Text) > 0 then
      Text := Copy(Text, 1, Pos('(', Text) - 1);
  end;
  if Key = 'MsgNoDsCfg' then
    Text := MsgNoDsCfg.Caption;
  if Key = 'MsgNotCompat' then
    Text := MsgNotCompat.Caption;
  if Text <> '' then
    MessageBoxS(Handle, Text, Caption, $10);
end;

procedure mSearchDevicesClick(Sender: TObject);
var
  Mode: Integer;
  First, Last: Int64;
  AddrText, Answer: string;
  Res: Variant;
begin
  if frmProgress <> nil then
  begin
    frmProgress.BringToFront;
    exit;
  end;
  Mode := TComponent(Sender).Tag;
  if Mode = 2 then
  begin
    First := 0;
    Last := 0;
    nProgressMax := 40959;
  end
  else if Mode = 3 then
  begin
    nProgressMax := 40959;
    AddrText := 'FFFFFFFF';
    if not InputQueryVar(Self, 12, MsgSelRange3.Caption, MsgSelRange.Caption, AddrText,
      @DlgTranslate) then
      exit;
    First := StrToInt64Def('$' + AddrText, 0);
    Last := First;
  end
  else
  begin
    First := 0;
    Last := 250;
    if not InputQueryVar2(Self, 26, MsgSelRange.Caption, MsgSelRange2.Caption, First, Last,
      @DlgTranslate) then
      exit;
    nProgressMax := Last;
  end;
  Owner.CallEvent('SearchDevices', [Mode, First, Last], Res);
  Answer := Res;
  if Answer = '' then
    exit;
  if Copy(Answer, 1, 1) = '!' then
  begin
    ShowSearchError(Copy(Answer, 2, Length(Answer) - 1));
    BringToFront;
    exit;
  end;
  frmProgress := CreateOpProgressForm(Owner, nil);
  Owner.Translate(frmProgress);
  frmProgress.Show;
  frmProgress.BringToFront;
  frmProgress.pbProgress.Max := Last;
  sSearchId := Answer;
  Screen.Cursor := crHourGlass;
  CheckSearchProgress.Enabled := True;
end;

// The three search entries, added once before the menu's caption item.
procedure treePopup1Popup(Sender: TObject);
var
  Item, Added: TPluginCfgMenuItem;
  Items: TPluginCfgMenuItems;
  i, Index: Integer;
begin
  propTree.PopupMenuPopup(Sender);
  if panButton = nil then
    exit;
  if panButton.Tag <> 0 then
    exit;
  panButton.Tag := 1;
  Item := TPluginCfgMenuItem(FindComponent('pmCaption'));
  if Item = nil then
    exit;
  Items := TPluginCfgMenuItems(Item.Parent);
  if Items = nil then
    exit;
  Index := -1;
  for i := 0 to Items.Count - 1 do
    if Items.Items[i] = Item then
    begin
      Index := i;
      break;
    end;
  if Index < 0 then
    exit;
  AddMenuSep(Item.Owner, Items, Index - 1);
  Added := AddMenuItem(Item.Owner, Items,
    MsgSearchDevices.Caption + ' (' + MsgSelRange2.Caption + ')', @mSearchDevicesClick, '', Index);
  Added.Tag := 1;
  Added := AddMenuItem(Item.Owner, Items,
    MsgSearchDevices.Caption + ' (' + MsgSelRange3.Caption + ')', @mSearchDevicesClick, '', Index + 1);
  Added.Tag := 2;
  Added := AddMenuItem(Item.Owner, Items,
    MsgSearchDevices.Caption + ' (' + MsgSelRange3.Caption + ', ' + MsgSelRange.Caption + ')',
    @mSearchDevicesClick, '', Index + 2);
  Added.Tag := 3;
end;

// The host's standard controls: OK and Cancel, the tree's pop-up menu and
// its button panel.
procedure HookStdControls;
var
  Item: TComponent;
begin
  Item := FindComponent('btnOK');
  if Item <> nil then
    TButton(Item).OnClick := @btnOKClick;
  Item := FindComponent('btnCancel');
  if Item <> nil then
    TButton(Item).OnClick := @btnCancelClick;
  Item := FindComponent('VirtualTreePopup');
  if Item <> nil then
    TPopupMenu(Item).OnPopup := @treePopup1Popup;
  panButton := nil;
  Item := FindComponent('panParamTreeview');
  if Item <> nil then
  begin
    panButton := TWinControl(Item);
    panButton.Tag := 0;
  end;
end;

// Translation test mode: every secondary form is created and translated once.
procedure TranslateChildForms(Plugin: TComponent);
var
  Child: TForm;
begin
  Child := CreateDeviceListForm(Plugin, nil);
  Plugin.Translate(Child);
  Child.Free;
  Child := CreateOpProgressForm(Plugin, nil);
  Plugin.Translate(Child);
  Child.Free;
end;

procedure FormCreate(Sender: TObject);
var
  Plugin: TComponent;
begin
  Plugin := Owner;
  if Sender <> nil then
  begin
    propTree := CreateVirtualParamTreeview(Self, pan1,
      'propTree~Requests queue' + '~RootNodeName,MBUS,Panel,OpenSave', TreeTemplate);
    InitPluginConfigForm(Self, [ifoCloseForm, ifoStdControls]);
    MsgStorageNo.Caption := MsgStorageNo.Caption + ' (' + MsgEmptyAll.Caption + ')';
    MsgTariffNo.Caption := MsgTariffNo.Caption + ' (' + MsgEmptyAll.Caption + ')';
    propTree.HelpContext := 1;
    PollUnitList.Caption := PollUnitValues;
    HookStdControls;
    if Plugin.GetModuleParameter('TESTTRANSL') then
      TranslateChildForms(Plugin);
  end
  else
    LoadPluginConfigForm(Self);
  // Called with nil alone (settings loaded without showing the dialog),
  // there is no tree to load.
  if propTree <> nil then
    propTree.AsText := lblParams.Caption;
end;

procedure FormDestroy(Sender: TObject);
begin
  FreeVirtualParamTreeview(propTree);
  propTree := nil;
end;

procedure CloseProgressForm;
begin
  if frmProgress <> nil then
  begin
    frmProgress.Free;
    frmProgress := nil;
  end;
end;

// Progress fields: position||line 1||line 2||line 3.
procedure ShowSearchProgress(Fields: string);
begin
  if frmProgress = nil then
    exit;
  with frmProgress do
  begin
    pbProgress.Max := nProgressMax;
    pbProgress.Position := StrToIntDef(GetParam(Fields, sepII, 1), 0);
    lblProgress.Caption := GetParam(Fields, sepII, 2);
    lblProgress2.Caption := GetParam(Fields, sepII, 3);
    lblProgress2.Visible := lblProgress2.Caption <> '';
    lblProgress3.Caption := GetParam(Fields, sepII, 4);
    lblProgress3.Visible := lblProgress3.Caption <> '';
  end;
end;

// The found devices: the user checks the rows to add and picks the poll
// interval; the plug-in turns them into request entries for the tree.
procedure ShowDeviceList(Found: string);
var
  Form: TForm;
  Checked, Entries: string;
  Res: Variant;
begin
  Form := CreateDeviceListForm(Owner, nil);
  try
    Owner.Translate(Form);
    Form.lblInterval.Caption := MsgPolling.Caption + ' ' + MsgPollUnits.Caption;
    Form.comboIntType.Items.Clear;
    Form.comboIntType.Items.Add(TxtMillisecond.Caption);
    Form.comboIntType.Items.Add(TxtSecond.Caption);
    Form.comboIntType.Items.Add(TxtMinute.Caption);
    Form.comboIntType.Items.Add(TxtHour.Caption);
    Form.comboIntType.ItemIndex := 0;
    StrToList(Found, Form.lvDevices);
    if Form.ShowModal <> mrOk then
      exit;
    Checked := ListChecksToStr(Form.lvDevices);
    if Checked = '' then
      exit;
    Owner.CallEvent('SearchDevicesGetXml',
      [Found, Checked, Form.spInterval.Value, Form.comboIntType.ItemIndex], Res);
    Entries := Res;
    if Entries <> '' then
      propTree.Append(Entries);
  finally
    Form.Free;
  end;
end;

procedure CheckSearchProgressTimer(Sender: TObject);
var
  Res: Variant;
  Status: string;
begin
  CheckSearchProgress.Enabled := False;
  if sSearchId = '' then
    exit;
  if frmProgress <> nil then
    if ProgressCancelFlag then
    begin
      Owner.CallEvent('SearchDevicesCancel', [sSearchId], Res);
      ProgressCancelFlag := False;
    end;
  Owner.CallEvent('SearchDevicesStatus', [sSearchId], Res);
  Status := Res;
  if Copy(Status, 1, 1) = '*' then
  begin
    ShowSearchProgress(Copy(Status, 2, Length(Status) - 1));
    CheckSearchProgress.Enabled := True;
    exit;
  end;
  CloseProgressForm;
  if Copy(Status, 1, 1) = '!' then
  begin
    MessageBoxS(Handle, MsgFailed.Caption, Caption, $10);
    Screen.Cursor := crDefault;
    exit;
  end;
  Screen.Cursor := crDefault;
  sSearchId := '';
  if Status = '' then
  begin
    MessageBoxS(Handle, MsgNothingFound.Caption, Caption, $40);
    exit;
  end;
  ShowDeviceList(Status);
end;

begin
end.
