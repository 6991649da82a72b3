{ Quorlane.dll for Delphi and Free Pascal hosts.

  All exports are stdcall with ANSI (PAnsiChar) texts. A text result is never
  nil; it points into one library-wide buffer that the next text-returning
  call replaces, so copy it (string(...)) before the next call and never free
  it. Integer results are 1 or 0. Call SetInitial first and FreeInitial last,
  all on the thread that called SetInitial: waiting calls pump its messages. }
unit Quorlane;

interface

type
  QLHandle = NativeUInt; { a window handle (HWND) }

const
  QuorlaneDll = 'Quorlane.dll';

procedure SetInitial(HostMainWindow: QLHandle); stdcall; external QuorlaneDll;
procedure FreeInitial; stdcall; external QuorlaneDll;

function SetLockDBDotNet(LockKey, ProductCode: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;
function SetUnLockDBDotNet(LockKey: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;
function SetForceUnLockDBDotNet(LockKey: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;
function CheckDBLockedDotNet(LockKey: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;

function DoDeleteFileDotNet(FileName: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;
function DoCopyFileDotNet(SourceFileName, TargetFileName: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;
function StartServerService(ServerHost, ServiceName: PAnsiChar): Integer; stdcall; external QuorlaneDll;
function StopServerService(ServerHost, ServiceName: PAnsiChar): Integer; stdcall; external QuorlaneDll;
function ServerServiceStarted(ServerHost, ServiceName: PAnsiChar): Integer; stdcall; external QuorlaneDll;
function GetFileSizeInfo(FirstField, SecondField: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;

function GetVATList: PAnsiChar; stdcall; external QuorlaneDll;
procedure SaveVATList(ListText: PAnsiChar); stdcall; external QuorlaneDll;
function GetTaxationAPIKey: PAnsiChar; stdcall; external QuorlaneDll;

{ Asks the vendor's update server (port 9568): '1,,' + address + '[END]'
  (empty address for an unknown application), '0,' + a "cannot connect"
  message, or '' when the exchange failed. Blocks up to 5 s to connect plus
  10 s per silent wait and processes no messages; needs no SetInitial. }
function GetAppSelfUpdURL(ApplicationId: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;
{ On a Chinese (PRC, 2052) system: the Big5 message converted to GBK, in the
  shared result buffer ('' before SetInitial). Elsewhere: the argument
  pointer itself, nil for nil. Keep the argument alive until the result is
  copied, or use ConvertedMessage below. }
function GetConvertedMessageDotNet(Message: PAnsiChar): PAnsiChar; stdcall; external QuorlaneDll;

{ GetConvertedMessageDotNet made safe to use: the result copied while the
  argument still lives, nil read as ''. }
function ConvertedMessage(const Big5Message: AnsiString): AnsiString;

procedure GetZConvertList(Reserved: Integer); stdcall; external QuorlaneDll;
procedure SyncZConvertList(Reserved1, Reserved2: Integer); stdcall; external QuorlaneDll;

implementation

function ConvertedMessage(const Big5Message: AnsiString): AnsiString;
var
  Converted: PAnsiChar;
begin
  Converted := GetConvertedMessageDotNet(PAnsiChar(Big5Message));
  if Converted = nil then
    Result := ''
  else
    Result := AnsiString(Converted);
end;

end.
