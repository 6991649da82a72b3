// The requests besides the locks: files, services, the VAT list and the
// taxation key. Each becomes a job for the blocking threads (they touch the
// disk or wait for a service manager), which returns the reply frame and
// writes the audit line. The taxation key never reaches a log line.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "log/audit_log.h"
#include "file_service.h"
#include "request.h"
#include "server_config.h"
#include "service_control.h"
#include "site_data.h"

namespace quorlane::server {

class SiteRequests {
 public:
  /// `rules` must come from the same configuration (FileAccessRules::Build).
  SiteRequests(const ServerConfig& config, FileAccessRules rules, audit::AuditLog& log);

  using Job = std::function<std::string()>;
  // The job that answers each command (see the command table); it copies
  // what it needs of the request.
  [[nodiscard]] Job PrepareDelete(const Request& request, const std::string& peer);
  [[nodiscard]] Job PrepareCopy(const Request& request, const std::string& peer);
  [[nodiscard]] Job PrepareSizeInfo(const Request& request, const std::string& peer);
  /// "[STARTTHESERVICE]", "[STOPTHESERVICE]" and "[THESERVICESTARTED]".
  [[nodiscard]] Job PrepareService(const Request& request, const std::string& peer);
  [[nodiscard]] Job PrepareGetVatList(const Request& request, const std::string& peer);
  [[nodiscard]] Job PrepareSaveVatList(const Request& request, const std::string& peer);
  [[nodiscard]] Job PrepareTaxationKey(const Request& request, const std::string& peer);

  [[nodiscard]] SiteData& Data() noexcept { return data_; }
  [[nodiscard]] const ServiceControl& Services() const noexcept { return services_; }

 private:
  [[nodiscard]] std::string DeleteFile(const std::string& fields, const std::string& peer) const;
  [[nodiscard]] std::string CopyFile(const std::string& fields, const std::string& peer) const;
  [[nodiscard]] std::string FileSizeInfo(const std::string& fields, const std::string& peer) const;

  FileService files_;
  ServiceControl services_;
  SiteData data_;
  audit::AuditLog& log_;
};

}  // namespace quorlane::server
