{ A workstation's day with Quorlane.dll, as a Delphi or Free Pascal console
  program: start the library, take the lock of a database (and say who holds
  it when someone else does), let it go again, read the site's VAT list,
  ask for the application's update address, stop.

    Workstation [DATABASE [PRODUCT]]      (both default to SALES)

  Quorlane.dll (x64\Quorlane.dll for a 64-bit build) and its Quorlane.ini go
  beside the program; the ini names the site server (see the README).
  Free Pascal, in this folder of the host kit: fpc -Mdelphi -Twin32 -Fu../..
  Workstation.dpr (-Twin64 for 64-bit). Delphi: a console project with
  Quorlane.pas added. }
program Workstation;

{$mode delphi}
{$apptype console}

uses
  Quorlane;

const
  { 資料庫已被其他使用者鎖定, "the database is locked by another user": the
    application's own messages are Big5, shown converted to GBK on a Chinese
    (PRC) system by the library. }
  LockedByAnother: AnsiString =
    #$B8#$EA#$AE#$C6#$AE#$77#$A4#$77#$B3#$51#$A8#$E4#$A5#$4C#$A8#$CF#$A5#$CE#$AA#$CC#$C2#$EA#$A9#$77;

{ The Index-th (0-based) of the ';'-separated fields of Text. }
function Field(const Text: string; Index: Integer): string;
var
  Rest: string;
  Separator: Integer;
begin
  Rest := Text;
  while Index > 0 do
  begin
    Separator := Pos(';', Rest);
    if Separator = 0 then
      Exit('');
    Delete(Rest, 1, Separator);
    Dec(Index);
  end;
  Separator := Pos(';', Rest);
  if Separator > 0 then
    Result := Copy(Rest, 1, Separator - 1)
  else
    Result := Rest;
end;

{ True when the lock was granted; says who holds it otherwise. }
function LockDatabase(const Database, Product: string): Boolean;
var
  Answer: string;
begin
  { Every text result is copied at once: the next call reuses its buffer. }
  Answer := string(SetLockDBDotNet(PAnsiChar(AnsiString(Database)), PAnsiChar(AnsiString(Product))));
  Result := Field(Answer, 0) = 'Y';
  if Result then
    WriteLn('lock ', Database, ': granted')
  else if Field(Answer, 1) = '' then
    WriteLn('lock ', Database, ': not granted, the site server did not answer')
  else
  begin
    WriteLn('lock ', Database, ': refused');
    WriteLn('  ', ConvertedMessage(LockedByAnother), ': ', Field(Answer, 1), ' on ', Field(Answer, 2),
      ' since ', Field(Answer, 3));
  end;
end;

procedure UnlockDatabase(const Database: string);
var
  Answer: string;
begin
  Answer := string(SetUnLockDBDotNet(PAnsiChar(AnsiString(Database))));
  if Field(Answer, 0) = 'Y' then
    WriteLn('unlock ', Database, ': done')
  else
    WriteLn('unlock ', Database, ': not released (', Answer, ')');
end;

{ The list is one text, its rates separated by CR LF. }
procedure ShowVatList;
var
  List, Rate: string;
  Rates, LineEnd: Integer;
begin
  List := string(GetVATList);
  Rates := 0;
  if List <> '' then
  begin
    Rates := 1;
    for LineEnd := 1 to Length(List) do
      if List[LineEnd] = #10 then
        Inc(Rates);
  end;
  WriteLn('VAT list: ', Rates, ' rates');
  while List <> '' do
  begin
    LineEnd := Pos(#13#10, List);
    if LineEnd = 0 then
      LineEnd := Length(List) + 1;
    Rate := Copy(List, 1, LineEnd - 1);
    Delete(List, 1, LineEnd + 1);
    WriteLn('  ', Rate);
  end;
end;

{ '1,,' + address + '[END]', '0,' + why the server could not be reached, or
  '' when the exchange failed. }
procedure ShowUpdateAddress(const Application: string);
var
  Answer: string;
begin
  Answer := string(GetAppSelfUpdURL(PAnsiChar(AnsiString(Application))));
  Write('update address of ', Application, ': ');
  if (Copy(Answer, 1, 3) = '1,,') and (Copy(Answer, Length(Answer) - 4, 5) = '[END]') then
  begin
    Answer := Copy(Answer, 4, Length(Answer) - 8);
    if Answer = '' then
      WriteLn('none (the update server does not know it)')
    else
      WriteLn(Answer);
  end
  else if Copy(Answer, 1, 2) = '0,' then
    WriteLn('unknown, ', Copy(Answer, 3, MaxInt))
  else
    WriteLn('unknown, the look-up failed');
end;

var
  Database, Product: string;
begin
  Database := 'SALES';
  if ParamCount >= 1 then
    Database := ParamStr(1);
  Product := Database;
  if ParamCount >= 2 then
    Product := ParamStr(2);
  WriteLn('Quorlane from a ', SizeOf(Pointer) * 8, '-bit host');

  { A console program has no main window; a GUI one passes its main form's
    Handle. Every call below runs on this thread. }
  SetInitial(0);
  try
    if LockDatabase(Database, Product) then
      UnlockDatabase(Database);
    ShowVatList;
    ShowUpdateAddress(Product);
  finally
    FreeInitial;
  end;
end.
