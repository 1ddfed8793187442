// The plain-text report of a protected file's information block that the archive run page shows while an
// archive operation runs: what protects the file, with which cipher, and for whom.
#pragma once

#include "platform/mfc/cstring.h"

class CTolvexBinaryFileBase;

// The report (lines joined with "\r\n"), also assigned to out; empty for a null object.
CString WriteOperationReport(CString& out, const CTolvexBinaryFileBase* file);
