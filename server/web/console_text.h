// The console's words in its three languages. Pages take every text from
// here; a language is chosen on the page (remembered in a cookie) or, until
// then, from the browser's Accept-Language. Platform-free.
#pragma once

#include <string_view>

namespace quorlane::server::web {

enum class Language { English, TraditionalChinese, SimplifiedChinese };

/// "en", "zh-TW", "zh-CN".
[[nodiscard]] std::string_view LanguageCode(Language language);
/// From the cookie's value, else from Accept-Language, else English.
[[nodiscard]] Language ChooseLanguage(std::string_view cookie, std::string_view acceptLanguage);

enum class Text {
  Title, NavLocks, NavVat, NavAudit, NavHealth, LogOut, LanguageLabel,
  LoginTitle, LoginToken, LoginButton, LoginHint, LoginWrong, LoginSlowDown, LoginExpired,
  LocksTitle, LocksCount, FilterPlaceholder, ColKey, ColUser, ColComputer, ColSince, ColAge, ColConnection,
  NoLocks, LinkOpen, LinkGone, LinkUnknown, ReleaseButton, ReleaseTitle, ReleaseQuestion, ReleaseConfirm,
  Cancel, Released, NotHeld, HeldByAnother, ReleaseFailed, ServerBusy, AutoRefresh,
  VatTitle, VatHint, VatSave, VatSaved, VatNotSaved, VatBytes,
  AuditTitle, AuditFilter, AuditShown, AuditEmpty,
  HealthTitle, Version, Uptime, ConnectionsNow, ConnectionsMax, RequestsPerSecond, Refusals, Command,
  Received, NotStarted, Late, RefusalReason, Count, JournalSize, LastSync, SlowestSync, FreeDisk, DataFolder,
  FileRoots, AllowedServices, Exists, Missing, None, Jobs, Queued, Running, FileLane, ShortLane,
  RefusedNotAllowed, RefusedTooMany, ClosedTooLarge, ClosedTimeout, ClosedBadBytes, RefusedLogin, JournalFailing,
  BadRequest, Forbidden, NotFound, CsrfRefused, ShownBytesNote, BackToLocks,
};

/// The text in `language` (UTF-8). Some hold "{}" where a value goes.
[[nodiscard]] std::string_view Say(Language language, Text text);

}  // namespace quorlane::server::web
