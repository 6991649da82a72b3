// The demo's first run: the language files written from the form as
// designed, then completed as a translator would.
#pragma once

#include "order_form.h"

namespace forms_demo {

/// When the form's English file does not exist yet: translates every form
/// once (which, finding no Traditional file, writes every language's files
/// and leaves the form as it is), adds the bare keys that generation cannot
/// write to every file, and fills in the English file.
void WriteFirstLanguageFiles(TOrderForm& form);

}  // namespace forms_demo
