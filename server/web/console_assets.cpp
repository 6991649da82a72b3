// The console's style sheet and script, served from memory: the pages load
// nothing from anywhere else (the Content-Security-Policy allows only these).
#include "console.h"

namespace quorlane::server::web {

std::string_view ConsoleStyleSheet() {
  return R"css(
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.45 "Noto Sans CJK TC", "Microsoft JhengHei", "WenQuanYi Micro Hei", "PingFang TC",
       system-ui, sans-serif; color: #1d2733; background: #f4f6f8; }
header { display: flex; flex-wrap: wrap; align-items: center; gap: 8px 24px; padding: 10px 24px;
         background: #24384f; color: #fff; }
header h1 { font-size: 17px; margin: 0 12px 0 0; font-weight: 600; }
nav a { color: #d7e3f0; text-decoration: none; padding: 6px 10px; border-radius: 4px; }
nav a.active, nav a:hover { background: #3b5672; color: #fff; }
.tools { margin-left: auto; display: flex; gap: 12px; align-items: center; }
.tools form { margin: 0; }
main { padding: 16px 24px 40px; max-width: 1200px; }
h2 { font-size: 20px; margin: 8px 0 12px; }
h3 { font-size: 16px; margin: 22px 0 8px; }
table { border-collapse: collapse; background: #fff; width: 100%; box-shadow: 0 1px 2px rgba(0,0,0,.08); }
th, td { text-align: left; padding: 7px 10px; border-bottom: 1px solid #e3e8ee; vertical-align: top; }
th { background: #eef2f6; font-weight: 600; font-size: 13px; color: #44546a; }
table.figures th { width: 16em; }
table.counts { width: auto; min-width: 50%; }
td.key { font-weight: 600; }
tr.gone td { background: #fff3e0; }
tr.gone td.link { color: #b35900; font-weight: 600; }
.button, button { display: inline-block; font: inherit; font-size: 14px; padding: 5px 12px; border: 1px solid #9aabbe;
                  border-radius: 4px; background: #fff; color: #1d2733; text-decoration: none; cursor: pointer; }
button.danger, .button.release:hover { border-color: #b3261e; color: #b3261e; }
button.danger { background: #b3261e; color: #fff; }
.notice { padding: 8px 12px; border-radius: 4px; background: #e6f4ea; border: 1px solid #9ccfa8; }
.notice.error { background: #fdecea; border-color: #f1aaa4; }
.hint { color: #5b6b7d; font-size: 13px; }
.empty { color: #5b6b7d; }
input[type=search], input[type=password] { font: inherit; padding: 5px 8px; border: 1px solid #9aabbe; border-radius: 4px; }
input[type=search] { width: 22em; }
textarea { width: 100%; font: 14px/1.4 ui-monospace, "WenQuanYi Micro Hei Mono", monospace; padding: 8px; }
ol.audit { list-style: none; padding: 0; margin: 0; background: #fff; font: 13px/1.5 ui-monospace, monospace; }
ol.audit li { padding: 3px 10px; border-bottom: 1px solid #eef1f4; white-space: pre-wrap; word-break: break-all; }
ul.places li.bad { color: #b3261e; }
form.login { display: flex; gap: 10px; align-items: center; }
[hidden] { display: none !important; }
)css";
}

std::string_view ConsoleScript() {
  return R"js('use strict';
(function () {
  // The language is remembered by the browser alone: choosing one is no action on the server.
  var language = document.getElementById('language');
  if (language) {
    language.addEventListener('change', function () {
      document.cookie = 'qllang=' + language.value + '; Path=/; Max-Age=31536000; SameSite=Strict';
      location.reload();
    });
  }
  function applyFilter() {
    var box = document.getElementById('filter');
    if (!box) return;
    var needle = box.value.toLowerCase();
    var rows = box.getAttribute('data-filter') === 'audit' ? document.querySelectorAll('#audit li')
                                                           : document.querySelectorAll('#locks tbody tr');
    Array.prototype.forEach.call(rows, function (row) {
      row.hidden = needle !== '' && row.textContent.toLowerCase().indexOf(needle) < 0;
    });
  }
  var filter = document.getElementById('filter');
  if (filter) filter.addEventListener('input', applyFilter);
  applyFilter();
  // The lock list refreshes itself; a session that ended brings the login page.
  var list = document.querySelector('[data-refresh]');
  if (list) {
    var url = list.getAttribute('data-refresh');
    var timer = setInterval(function () {
      fetch(url, { credentials: 'same-origin', cache: 'no-store' }).then(function (response) {
        if (response.status === 401) { clearInterval(timer); location.reload(); return null; }
        return response.ok ? response.text() : null;
      }).then(function (html) {
        if (typeof html === 'string') { list.innerHTML = html; applyFilter(); }
      }).catch(function () {});
    }, 5000);
  }
})();
)js";
}

}  // namespace quorlane::server::web
