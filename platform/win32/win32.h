// The platform's kernel layer in one include: base types, errors, memory, files, modules, threads and waits,
// time, registry, security, atoms, environment and version. Functions carry the platform's plain names and
// take UTF-8 text; the "...A" names the system's code uses are aliases of them.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/crt.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/handles.h"
#include "platform/win32/heap.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"
#include "platform/win32/security.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "platform/win32/textconv.h"
#include "platform/win32/wintime.h"
