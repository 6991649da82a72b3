#include "console_text.h"

#include <array>
#include <cctype>
#include <string>

namespace quorlane::server::web {
namespace {

struct Entry {
  Text text;
  std::string_view english, traditional, simplified;
};

// One row per text: English, Traditional Chinese, Simplified Chinese.
constexpr Entry kEntries[] = {
    {Text::Title, "Quorlane site console", "Quorlane 站台主控台", "Quorlane 站点控制台"},
    {Text::NavLocks, "Locks", "鎖定", "锁定"},
    {Text::NavVat, "VAT list", "稅率清單", "税率清单"},
    {Text::NavAudit, "Audit log", "稽核記錄", "审计日志"},
    {Text::NavHealth, "Health", "狀態", "状态"},
    {Text::LogOut, "Log out", "登出", "退出登录"},
    {Text::LanguageLabel, "Language", "語言", "语言"},
    {Text::LoginTitle, "Log in", "登入", "登录"},
    {Text::LoginToken, "Login token", "登入權杖", "登录令牌"},
    {Text::LoginButton, "Log in", "登入", "登录"},
    {Text::LoginHint, "On the server, quorlane-server web-token prints the token.",
     "在伺服器上執行 quorlane-server web-token 可顯示權杖。", "在服务器上运行 quorlane-server web-token 可显示令牌。"},
    {Text::LoginWrong, "That token is not right.", "權杖不正確。", "令牌不正确。"},
    {Text::LoginSlowDown, "Too many wrong tokens from this address; try again in {} s.",
     "此位址輸入錯誤權杖太多次，請於 {} 秒後再試。", "此地址输入错误令牌次数过多，请 {} 秒后再试。"},
    {Text::LoginExpired, "Please log in.", "請登入。", "请登录。"},
    {Text::LocksTitle, "Held locks", "目前的鎖定", "当前的锁定"},
    {Text::LocksCount, "{} lock(s) held", "共 {} 個鎖定", "共 {} 个锁定"},
    {Text::FilterPlaceholder, "Filter", "篩選", "筛选"},
    {Text::ColKey, "Key", "鍵值", "键值"},
    {Text::ColUser, "User", "使用者", "用户"},
    {Text::ColComputer, "Computer", "電腦", "计算机"},
    {Text::ColSince, "Since", "開始時間", "开始时间"},
    {Text::ColAge, "Age", "已持有", "已持有"},
    {Text::ColConnection, "Connection", "連線", "连接"},
    {Text::NoLocks, "No lock is held.", "目前沒有鎖定。", "当前没有锁定。"},
    {Text::LinkOpen, "open", "連線中", "已连接"},
    {Text::LinkGone, "gone since {}", "已於 {} 中斷", "已于 {} 断开"},
    {Text::LinkUnknown, "taken before the server started", "於伺服器啟動前取得", "在服务器启动前取得"},
    {Text::ReleaseButton, "Release…", "解除…", "解除…"},
    {Text::ReleaseTitle, "Release a lock", "解除鎖定", "解除锁定"},
    {Text::ReleaseQuestion, "Release the lock on {key}, held by {user} on {computer} since {since}?",
     "要解除 {key} 的鎖定嗎？持有者為 {computer} 上的 {user}，自 {since} 起。",
     "要解除 {key} 的锁定吗？持有者为 {computer} 上的 {user}，自 {since} 起。"},
    {Text::ReleaseConfirm, "Release", "解除", "解除"},
    {Text::Cancel, "Cancel", "取消", "取消"},
    {Text::Released, "Released {key} (held by {user} on {computer} since {since}).",
     "已解除 {key}（原持有者：{computer} 上的 {user}，自 {since} 起）。",
     "已解除 {key}（原持有者：{computer} 上的 {user}，自 {since} 起）。"},
    {Text::NotHeld, "{key} is not locked.", "{key} 目前沒有被鎖定。", "{key} 当前没有被锁定。"},
    {Text::HeldByAnother, "{key} is now held by {user} on {computer} since {since}; nothing was released.",
     "{key} 現由 {computer} 上的 {user} 持有（自 {since} 起），未解除任何鎖定。",
     "{key} 现由 {computer} 上的 {user} 持有（自 {since} 起），未解除任何锁定。"},
    {Text::ReleaseFailed, "Not released: {}", "未解除：{}", "未解除：{}"},
    {Text::ServerBusy, "The server did not answer in time.", "伺服器未及時回應。", "服务器未及时响应。"},
    {Text::AutoRefresh, "Refreshed every 5 s.", "每 5 秒自動更新。", "每 5 秒自动刷新。"},
    {Text::VatTitle, "VAT list", "稅率清單", "税率清单"},
    {Text::VatHint,
     "The list as the workstations read it. Bytes that are no character are shown as \\xHH; type \\xHH to write such "
     "a byte.",
     "工作站讀到的清單內容。無法顯示為文字的位元組以 \\xHH 表示；輸入 \\xHH 即寫入該位元組。",
     "工作站读到的清单内容。无法显示为文字的字节以 \\xHH 表示；输入 \\xHH 即写入该字节。"},
    {Text::VatSave, "Replace the VAT list", "取代稅率清單", "替换税率清单"},
    {Text::VatSaved, "VAT list saved ({} bytes).", "稅率清單已儲存（{} 位元組）。", "税率清单已保存（{} 字节）。"},
    {Text::VatNotSaved, "VAT list not saved: {}", "稅率清單未儲存：{}", "税率清单未保存：{}"},
    {Text::VatBytes, "{} bytes", "{} 位元組", "{} 字节"},
    {Text::AuditTitle, "Audit log", "稽核記錄", "审计日志"},
    {Text::AuditFilter, "Filter", "篩選", "筛选"},
    {Text::AuditShown, "The last {} lines, newest first.", "最近 {} 行，最新的在前。", "最近 {} 行，最新的在前。"},
    {Text::AuditEmpty, "The audit log is empty or off.", "稽核記錄是空的或未啟用。", "审计日志为空或未启用。"},
    {Text::HealthTitle, "Health", "伺服器狀態", "服务器状态"},
    {Text::Version, "Version", "版本", "版本"},
    {Text::Uptime, "Running for", "已執行", "已运行"},
    {Text::ConnectionsNow, "Connections now", "目前連線數", "当前连接数"},
    {Text::ConnectionsMax, "Connections at most", "最多連線數", "最多连接数"},
    {Text::RequestsPerSecond, "Requests per second (last minute)", "每秒要求數（最近一分鐘）", "每秒请求数（最近一分钟）"},
    {Text::Refusals, "Refusals", "拒絕", "拒绝"},
    {Text::Command, "Command", "命令", "命令"},
    {Text::Received, "Received", "已收到", "已收到"},
    {Text::NotStarted, "Not started (too late)", "未開始（逾時）", "未开始（超时）"},
    {Text::Late, "Finished too late", "完成時已逾時", "完成时已超时"},
    {Text::RefusalReason, "Reason", "原因", "原因"},
    {Text::Count, "Count", "次數", "次数"},
    {Text::JournalSize, "Lock journal", "鎖定日誌", "锁定日志"},
    {Text::LastSync, "Last sync", "最近一次同步", "最近一次同步"},
    {Text::SlowestSync, "Slowest sync", "最慢的同步", "最慢的同步"},
    {Text::FreeDisk, "Free disk space", "可用磁碟空間", "可用磁盘空间"},
    {Text::DataFolder, "Data folder", "資料資料夾", "数据文件夹"},
    {Text::FileRoots, "File roots", "檔案根目錄", "文件根目录"},
    {Text::AllowedServices, "Allowed services", "允許的服務", "允许的服务"},
    {Text::Exists, "exists", "存在", "存在"},
    {Text::Missing, "missing", "不存在", "不存在"},
    {Text::None, "none", "無", "无"},
    {Text::Jobs, "Jobs", "工作", "任务"},
    {Text::Queued, "queued", "排隊中", "排队中"},
    {Text::Running, "running", "執行中", "运行中"},
    {Text::FileLane, "files", "檔案", "文件"},
    {Text::ShortLane, "VAT list, key, services", "稅率清單、金鑰、服務", "税率清单、密钥、服务"},
    {Text::RefusedNotAllowed, "connection from a network not allowed", "來自未允許網路的連線", "来自未允许网络的连接"},
    {Text::RefusedTooMany, "too many connections", "連線數過多", "连接数过多"},
    {Text::ClosedTooLarge, "request too large", "要求過大", "请求过大"},
    {Text::ClosedTimeout, "request not completed in time", "要求未及時完成", "请求未及时完成"},
    {Text::ClosedBadBytes, "bytes outside a request", "要求以外的位元組", "请求以外的字节"},
    {Text::RefusedLogin, "wrong login token (web console)", "登入權杖錯誤（網頁主控台）", "登录令牌错误（网页控制台）"},
    {Text::JournalFailing, "The lock journal cannot be written: changes are refused.",
     "無法寫入鎖定日誌：所有變更都會被拒絕。", "无法写入锁定日志：所有更改都会被拒绝。"},
    {Text::BadRequest, "Bad request", "要求錯誤", "请求错误"},
    {Text::Forbidden, "Not allowed", "不允許", "不允许"},
    {Text::NotFound, "No such page", "找不到此頁面", "找不到此页面"},
    {Text::CsrfRefused, "This form is out of date; open the page again.", "此表單已失效，請重新開啟頁面。",
     "此表单已失效，请重新打开页面。"},
    {Text::ShownBytesNote, "Characters shown in code page {}.", "以字碼頁 {} 顯示字元。", "以代码页 {} 显示字符。"},
    {Text::BackToLocks, "Back to the locks", "回到鎖定清單", "回到锁定列表"},
};

constexpr auto kTextCount = static_cast<std::size_t>(Text::BackToLocks) + 1;

// Every text has its row, in order (checked when compiled).
constexpr bool RowsInOrder() {
  if (std::size(kEntries) != kTextCount) return false;
  for (std::size_t i = 0; i < std::size(kEntries); ++i) {
    if (static_cast<std::size_t>(kEntries[i].text) != i) return false;
  }
  return true;
}
static_assert(RowsInOrder(), "console_text.cpp: one row per Text, in the enum's order");

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string_view LanguageCode(Language language) {
  switch (language) {
    case Language::English: return "en";
    case Language::TraditionalChinese: return "zh-TW";
    case Language::SimplifiedChinese: return "zh-CN";
  }
  return "en";
}

Language ChooseLanguage(std::string_view cookie, std::string_view acceptLanguage) {
  for (const auto language : {Language::English, Language::TraditionalChinese, Language::SimplifiedChinese}) {
    if (cookie == LanguageCode(language)) return language;
  }
  // The first Chinese or English entry of the browser's list decides.
  const std::string accepted = Lower(acceptLanguage);
  std::string_view rest = accepted;
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    std::string_view entry = rest.substr(0, comma);
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    entry = entry.substr(0, entry.find(';'));
    while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
    if (entry.rfind("zh", 0) == 0) {
      const bool traditional = entry.find("tw") != std::string_view::npos || entry.find("hk") != std::string_view::npos ||
                               entry.find("mo") != std::string_view::npos || entry.find("hant") != std::string_view::npos;
      return traditional ? Language::TraditionalChinese : Language::SimplifiedChinese;
    }
    if (entry.rfind("en", 0) == 0) return Language::English;
  }
  return Language::English;
}

std::string_view Say(Language language, Text text) {
  const Entry& entry = kEntries[static_cast<std::size_t>(text)];
  switch (language) {
    case Language::English: return entry.english;
    case Language::TraditionalChinese: return entry.traditional;
    case Language::SimplifiedChinese: return entry.simplified;
  }
  return entry.english;
}

}  // namespace quorlane::server::web
