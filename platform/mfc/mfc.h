// The framework's value classes in one include: CObject and run-time classes, exceptions, CString,
// collections, CArchive, files, time values, COleVariant and the rectangle classes.
#pragma once

#include "platform/mfc/carchive.h"
#include "platform/mfc/cfile.h"
#include "platform/mfc/cobject.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/datetime.h"
#include "platform/mfc/exceptions.h"
#include "platform/mfc/geometry.h"
#include "platform/mfc/olevariant.h"
