#include "command_table.h"

#include <array>

#include "site_server.h"

namespace quorlane::server {
namespace {

using std::chrono::seconds;
constexpr auto kNetwork = CommandLane::Network;
constexpr auto kFiles = CommandLane::Files;
constexpr auto kShort = CommandLane::Short;

const std::array kCommands = {
    CommandRow{{"[LOCKDB]", "LOCKDB", kNetwork, seconds(12)}, &SiteServer::AnswerLock, nullptr},
    CommandRow{{"[UNLOCKDB]", "UNLOCKDB", kNetwork, seconds(12)}, &SiteServer::AnswerLock, nullptr},
    CommandRow{{"[FORCEUNLOCKDB]", "FORCEUNLOCKDB", kNetwork, seconds(12)}, &SiteServer::AnswerLock, nullptr},
    CommandRow{{"[CHECKDBLOCK]", "CHECKDBLOCK", kNetwork, seconds(12)}, &SiteServer::AnswerLock, nullptr},
    // The admin command "locks" waits 30 s.
    CommandRow{{"[QLLISTLOCKS]", "QLLISTLOCKS", kNetwork, seconds(30)}, &SiteServer::AnswerLockListing, nullptr},
    CommandRow{{"[DELETEFILE]", "DELETEFILE", kFiles, seconds(30)}, nullptr, &SiteRequests::PrepareDelete},
    CommandRow{{"[COPYFILE]", "COPYFILE", kFiles, seconds(30)}, nullptr, &SiteRequests::PrepareCopy},
    CommandRow{{"[FILESIZEINFO]", "FILESIZEINFO", kFiles, seconds(20)}, nullptr, &SiteRequests::PrepareSizeInfo},
    CommandRow{{"[STARTTHESERVICE]", "STARTTHESERVICE", kShort, seconds(12)}, nullptr, &SiteRequests::PrepareService},
    CommandRow{{"[STOPTHESERVICE]", "STOPTHESERVICE", kShort, seconds(12)}, nullptr, &SiteRequests::PrepareService},
    CommandRow{{"[THESERVICESTARTED]", "THESERVICESTARTED", kShort, seconds(12)}, nullptr,
               &SiteRequests::PrepareService},
    CommandRow{{"[GetVATList]", "GetVATList", kShort, seconds(12)}, nullptr, &SiteRequests::PrepareGetVatList},
    CommandRow{{"[SaveVATList]", "SaveVATList", kShort, seconds(20)}, nullptr, &SiteRequests::PrepareSaveVatList},
    CommandRow{{"[GETTAXATIONKEY]", "GETTAXATIONKEY", kShort, seconds(12)}, nullptr,
               &SiteRequests::PrepareTaxationKey},
};

}  // namespace

std::span<const CommandRow> Commands() noexcept { return kCommands; }

const CommandRow* FindCommand(std::string_view tag) noexcept {
  for (const auto& row : kCommands) {
    if (row.info.tag == tag) return &row;
  }
  return nullptr;
}

}  // namespace quorlane::server
