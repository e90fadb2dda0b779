unit U;
begin end.