// The small UI toolkit that stands in for the host application's framework:
// class identity and published properties (rtti.h), components (components.h),
// collections, string lists, fonts, controls with windows made on demand,
// forms, datasets and grids. One include for all of it.
//
// Ownership: a component owns the components created with it as owner and
// frees them, last created first; a collection owns its items; a control
// owns its font and lines; a windowed control owns its window (see
// controls.h for how a window follows its object). Nothing is locked; one
// thread at a time, the thread that owns the windows.
#pragma once

#include "framework/actnlist.h"
#include "framework/collections.h"
#include "framework/comctrls.h"
#include "framework/components.h"
#include "framework/controls.h"
#include "framework/cxctrls.h"
#include "framework/db.h"
#include "framework/dbgrids.h"
#include "framework/dxgrids.h"
#include "framework/errors.h"
#include "framework/extctrls.h"
#include "framework/forms.h"
#include "framework/graphics.h"
#include "framework/rtti.h"
#include "framework/rzctrls.h"
#include "framework/stdctrls.h"
#include "framework/strings.h"
#include "framework/widgetset.h"
