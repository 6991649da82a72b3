// The export table of Quorlane.dll. Each export copies its text arguments,
// forwards to the operation that owns it and hands the result back through the
// library-wide result buffer, all behind the export barrier.

#include "quorlane.h"

#include "export_barrier.h"
#include "library_state.h"
#include "update_lookup.h"
#include "update_reply.h"

using quorlane::CopyArgument;
using quorlane::FlagExport;
using quorlane::Library;
using quorlane::TextExport;
using quorlane::VoidExport;

namespace {

// Chinese (PRC): the one system default language that gets messages in GBK.
constexpr LANGID kChinesePrc = 0x0804;

int ServiceExport(const char* tag, const char* serverHost, const char* serviceName) noexcept {
  return FlagExport([&] {
    const std::string host = CopyArgument(serverHost);
    const std::string service = CopyArgument(serviceName);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    return session && session->ServiceRequest(tag, host, service);
  });
}

}  // namespace

extern "C" {

void WINAPI SetInitial(HWND hostMainWindow) {
  VoidExport([&] { quorlane::StartUp(hostMainWindow); });
}

void WINAPI FreeInitial(void) {
  VoidExport([] { quorlane::ShutDown(); });
}

const char* WINAPI SetLockDBDotNet(const char* lockKey, const char* productCode) {
  return TextExport([&] {
    const std::string key = CopyArgument(lockKey);
    const std::string product = CopyArgument(productCode);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    if (session->SetLockDB(key, product)) return quorlane::BlankResult("Y");
    return quorlane::JoinResultFields("N", session->LockedDBUserName, session->LockedDBComputerName,
                                      session->LockedDBStartTime);
  });
}

const char* WINAPI SetUnLockDBDotNet(const char* lockKey) {
  return TextExport([&] {
    const std::string key = CopyArgument(lockKey);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    if (session->SetUnLockDB(key, false)) return quorlane::BlankResult("Y");
    return quorlane::JoinResultFields("N", session->LockedDBUserName, session->LockedDBComputerName,
                                      session->LockedDBStartTime);
  });
}

const char* WINAPI SetForceUnLockDBDotNet(const char* lockKey) {
  return TextExport([&] {
    const std::string key = CopyArgument(lockKey);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    return quorlane::BlankResult(session->SetUnLockDB(key, true) ? "Y" : "N");
  });
}

const char* WINAPI CheckDBLockedDotNet(const char* lockKey) {
  return TextExport([&] {
    const std::string key = CopyArgument(lockKey);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    if (!session->CheckDBLocked(key)) return quorlane::BlankResult("N");
    return quorlane::JoinResultFields("Y", session->LockedDBUserName, session->LockedDBComputerName,
                                      session->LockedDBStartTime);
  });
}

const char* WINAPI DoDeleteFileDotNet(const char* fileName) {
  return TextExport([&] {
    const std::string file = CopyArgument(fileName);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    return session->DoDeleteFile(file);
  });
}

const char* WINAPI DoCopyFileDotNet(const char* sourceFileName, const char* targetFileName) {
  return TextExport([&] {
    const std::string source = CopyArgument(sourceFileName);
    const std::string target = CopyArgument(targetFileName);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    return session->DoCopyFile(source, target);
  });
}

int WINAPI StartServerService(const char* serverHost, const char* serviceName) {
  return ServiceExport("[STARTTHESERVICE]", serverHost, serviceName);
}

int WINAPI StopServerService(const char* serverHost, const char* serviceName) {
  return ServiceExport("[STOPTHESERVICE]", serverHost, serviceName);
}

int WINAPI ServerServiceStarted(const char* serverHost, const char* serviceName) {
  return ServiceExport("[THESERVICESTARTED]", serverHost, serviceName);
}

const char* WINAPI GetFileSizeInfo(const char* firstField, const char* secondField) {
  return TextExport([&] {
    const std::string first = CopyArgument(firstField);
    const std::string second = CopyArgument(secondField);
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    return session->GetFileSizeInfo(first, second);
  });
}

const char* WINAPI GetVATList(void) {
  return TextExport([] {
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    return session->GetVATList();
  });
}

void WINAPI SaveVATList(const char* listText) {
  VoidExport([&] {
    const std::string list = CopyArgument(listText);
    const quorlane::SessionCall running;
    if (quorlane::TxKey* session = Library().session.get()) session->SaveVATList(list);
  });
}

const char* WINAPI GetTaxationAPIKey(void) {
  return TextExport([] {
    const quorlane::SessionCall running;
    quorlane::TxKey* session = Library().session.get();
    if (!session) return std::string();
    return session->GetTaxationAPIKey();
  });
}

const char* WINAPI GetAppSelfUpdURL(const char* applicationId) {
  return TextExport([&] {
    namespace update = quorlane::update;
    const std::string id = CopyArgument(applicationId);
    const char* host = update::HostName();
    const update::Lookup lookup = update::LookUp(host, update::kPort, id);
    switch (lookup.outcome) {
      case update::Lookup::Outcome::Reply:
        return update::ReplyResult(lookup.reply);
      case update::Lookup::Outcome::Unreachable: {
        const std::string message = update::UnreachableMessage(host, update::kPortText);
        // Copied at once: on a PRC system the converted text lives in the
        // result buffer, which the returned text is about to replace.
        return "0," + std::string(GetConvertedMessageDotNet(message.c_str()));
      }
      case update::Lookup::Outcome::Failed:
        break;
    }
    return std::string();
  });
}

// Hands back the argument itself (null included) wherever no conversion takes
// place; only a PRC system's conversion goes through the result buffer.
const char* WINAPI GetConvertedMessageDotNet(const char* message) {
  if (::GetSystemDefaultLangID() != kChinesePrc) return message;
  return TextExport([&] {
    const std::string text = CopyArgument(message);
    quorlane::TWinPerTurn* converter = Library().converter.get();
    if (!converter) return std::string();
    std::string converted;
    converter->TurnText(text, quorlane::TWinPerTurnType::wttTCToSC, true, converted);
    return converted;
  });
}

void WINAPI GetZConvertList(int /*reserved*/) {}

void WINAPI SyncZConvertList(int /*reserved1*/, int /*reserved2*/) {}

}  // extern "C"
