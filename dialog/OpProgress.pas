// Unit OpProgress: the progress window of a device search (form
// TfrmOpProgress). The window cannot be closed by the user; Cancel only sets
// ProgressCancelFlag, which the main script's timer passes on to the plug-in.
unit OpProgress;

var
  ProgressCancelFlag: Boolean;

procedure pBotProgressResize(Sender: TObject);
begin
  btnProgressCancel.Left := Trunc(pBotProgress.ClientWidth / 2 - btnProgressCancel.Width / 2);
end;

procedure ProgressFormCreate(Sender: TObject);
begin
  ProgressCancelFlag := False;
  pBotProgressResize(pBotProgress);
end;

// The window closes only when the main script frees it.
procedure ProgressFormCloseQuery(Sender: TObject; var CanClose: Boolean);
begin
  CanClose := False;
end;

procedure btnProgressCancelClick(Sender: TObject);
begin
  ProgressCancelFlag := True;
  btnProgressCancel.Enabled := False;
end;

// Stacks the labels that are shown, then the bar, then the button panel.
procedure FormResize(Sender: TObject);
var
  NextTop: Integer;
begin
  lblProgress.Top := 0;
  NextTop := lblProgress.Top + lblProgress.Height;
  if lblProgress2.Visible then
  begin
    lblProgress2.Top := NextTop;
    NextTop := NextTop + lblProgress2.Height;
  end;
  if lblProgress3.Visible then
  begin
    lblProgress3.Top := NextTop;
    NextTop := NextTop + lblProgress3.Height;
  end;
  pbProgress.Top := NextTop;
  pBotProgress.Top := NextTop + pbProgress.Height;
end;

begin
end.
