#include "site_requests.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "service_rules.h"
#include "windows_error.h"

namespace quorlane::server {
namespace {

constexpr std::string_view kDeleteTag = "[DELETEFILE]";
constexpr std::string_view kCopyTag = "[COPYFILE]";
constexpr std::string_view kSizeTag = "[FILESIZEINFO]";
constexpr std::string_view kGetVatTag = "[GetVATList]";
constexpr std::string_view kSaveVatTag = "[SaveVATList]";
constexpr std::string_view kKeyTag = "[GETTAXATIONKEY]";

std::string Audit(std::string_view command, const std::string& peer, std::string_view details,
                  const FileAnswer& answer) {
  std::string line = std::string(command) + " peer=" + peer + " " + std::string(details);
  if (!answer.refusal.empty()) line += " refused: " + answer.refusal;
  return line + " result=" + audit::Quoted(answer.payload);
}

// Test-only: QUORLANE_TEST_FILE_JOB_DELAY_MS=N holds every file job for N ms
// before it starts, as a slow disk or a hung network share would.
void DelayFileJobForTests() {
  static const long delay = [] {
    const char* text = std::getenv("QUORLANE_TEST_FILE_JOB_DELAY_MS");
    return text ? std::strtol(text, nullptr, 10) : 0L;
  }();
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

}  // namespace

SiteRequests::SiteRequests(const ServerConfig& config, FileAccessRules rules, audit::AuditLog& log)
    : files_(std::move(rules)), services_(config), data_(config.dataFolder), log_(log) {}

std::string SiteRequests::DeleteFile(const std::string& fields, const std::string& peer) const {
  const std::string path = JoinedFields(fields);
  const FileAnswer answer = files_.Delete(path);
  log_.Line(Audit("DELETEFILE", peer, "path=" + audit::Quoted(path), answer));
  return ReplyFrame(kDeleteTag, answer.payload);
}

std::string SiteRequests::CopyFile(const std::string& fields, const std::string& peer) const {
  const auto paths = SplitCopyFields(fields);
  if (!paths) {
    const FileAnswer answer{"N;" + std::to_string(winerror::kInvalidName), {}};
    log_.Line(Audit("COPYFILE", peer, "fields=" + audit::Quoted(fields) + " (the two paths cannot be told apart)", answer));
    return ReplyFrame(kCopyTag, answer.payload);
  }
  const FileAnswer answer = files_.Copy(paths->first, paths->second);
  log_.Line(Audit("COPYFILE", peer, "source=" + audit::Quoted(paths->first) + " target=" + audit::Quoted(paths->second), answer));
  return ReplyFrame(kCopyTag, answer.payload);
}

std::string SiteRequests::FileSizeInfo(const std::string& fields, const std::string& peer) const {
  // The last field is the pattern; everything in front of it the path.
  const std::string text = JoinedFields(fields);
  const auto at = text.rfind(';');
  const std::string path = at == std::string::npos ? text : text.substr(0, at);
  const std::string pattern = at == std::string::npos ? std::string() : text.substr(at + 1);
  const FileAnswer answer = files_.SizeInfo(path, pattern);
  // Reading sizes changes nothing: only refusals are audited.
  if (!answer.refusal.empty()) {
    log_.Line(Audit("FILESIZEINFO", peer, "path=" + audit::Quoted(path) + " pattern=" + audit::Quoted(pattern), answer));
  }
  return ReplyFrame(kSizeTag, answer.payload);
}

SiteRequests::Job SiteRequests::PrepareDelete(const Request& request, const std::string& peer) {
  return [this, fields = std::string(request.fields), peer] {
    DelayFileJobForTests();
    return DeleteFile(fields, peer);
  };
}

SiteRequests::Job SiteRequests::PrepareCopy(const Request& request, const std::string& peer) {
  return [this, fields = std::string(request.fields), peer] {
    DelayFileJobForTests();
    return CopyFile(fields, peer);
  };
}

SiteRequests::Job SiteRequests::PrepareSizeInfo(const Request& request, const std::string& peer) {
  return [this, fields = std::string(request.fields), peer] {
    DelayFileJobForTests();
    return FileSizeInfo(fields, peer);
  };
}

SiteRequests::Job SiteRequests::PrepareService(const Request& request, const std::string& peer) {
  const auto action = ServiceActionOf(request.tag);
  return [this, tag = std::string(request.tag), action = *action, fields = std::string(request.fields), peer] {
    const std::string name = JoinedFields(fields);
    const ServiceAnswer answer = services_.Run(action, name);
    log_.Line(tag.substr(1, tag.size() - 2) + " peer=" + peer + " service=" + audit::Quoted(name) +
              (answer.refused ? " refused" : "") + " result=" + audit::Quoted(answer.payload));
    return ReplyFrame(tag, answer.payload);
  };
}

SiteRequests::Job SiteRequests::PrepareGetVatList(const Request&, const std::string& peer) {
  return [this, peer] {
    std::string list, error;
    if (!data_.ReadVatList(list, error)) {
      log_.Line("GetVATList peer=" + peer + " failed: " + error);
      return ReplyFrame(kErrorTag, "cannot read the VAT list;");
    }
    return ReplyFrame(kGetVatTag, list);
  };
}

SiteRequests::Job SiteRequests::PrepareSaveVatList(const Request& request, const std::string& peer) {
  return [this, fields = std::string(request.fields), peer] {
    // The list is everything between the tag and the frame's final ";".
    if (fields.empty() || fields.back() != ';') {
      log_.Line("SaveVATList peer=" + peer + " refused: no final \";\"");
      return ReplyFrame(kSaveVatTag, "N;no final \";\"");
    }
    const std::string_view list(fields.data(), fields.size() - 1);
    std::string error;
    const bool saved = data_.SaveVatList(list, error);
    log_.Line("SaveVATList peer=" + peer + " bytes=" + std::to_string(list.size()) +
              (saved ? " result=\"Y;\"" : " failed: " + error));
    return ReplyFrame(kSaveVatTag, saved ? "Y;" : "N;not saved");
  };
}

SiteRequests::Job SiteRequests::PrepareTaxationKey(const Request&, const std::string& peer) {
  return [this, peer] {
    std::string key, error;
    switch (data_.ReadTaxationKey(key, error)) {
      case SiteData::KeyState::Set:
        log_.Line("GETTAXATIONKEY peer=" + peer + " given (" + std::to_string(key.size()) + " bytes)");
        return ReplyFrame(kKeyTag, key);
      case SiteData::KeyState::NotSet:
        log_.Line("GETTAXATIONKEY peer=" + peer + " none set (quorlane-server set-taxation-key)");
        return ReplyFrame(kKeyTag, "");
      case SiteData::KeyState::Unusable:
        break;
    }
    log_.Line("GETTAXATIONKEY peer=" + peer + " refused: " + error);
    return ReplyFrame(kErrorTag, "the taxation key cannot be given;");
  };
}

}  // namespace quorlane::server
