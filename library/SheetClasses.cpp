// The records of the sheet registry: every sheet and wizard of the subsystems, in the registry's fixed order.
#include "app/SheetRegistry.h"
#include "archives/ArchiveSheet.h"
#include "archives/CodeSignWizard.h"
#include "archives/PackageSheet.h"
#include "certificates/CWizard.h"
#include "certificates/CertSheet.h"
#include "certificates/PfxWizard.h"
#include "certificates/SelTrustPointsSheet.h"
#include "encryption/EncryptionWizard.h"
#include "encryption/OneClickSheet.h"
#include "encryption/OneClickViewSheet.h"
#include "settings/AuditSheet.h"
#include "settings/EmbeddedConfigMgr.h"
#include "settings/EmbeddedSecurityPolicySheet.h"
#include "settings/SysProfileSheet.h"
#include "settings/UserProfileSetupWizard.h"
#include "settings/XQProfileWizard.h"
#include "signing/SignManagerSheet.h"
#include "signing/SignSheet.h"
#include "signing/SummarySheet.h"

void AddSheetClasses(std::vector<const SheetClassRecord*>& records) {
  records.insert(records.end(),
                 {SHEET_CLASS(CSignSheet), SHEET_CLASS(CCertSheet), SHEET_CLASS(CEmbeddedConfigMgr),
                  SHEET_CLASS(CSignManagerSheet), SHEET_CLASS(COneClickSheet), SHEET_CLASS(CAuditSheet),
                  SHEET_CLASS(CSysProfileSheet), SHEET_CLASS(COneClickViewSheet), SHEET_CLASS(CSummarySheet),
                  SHEET_CLASS(CArchiveSheet), SHEET_CLASS(CCWizard), SHEET_CLASS(CUniversalSignSheet),
                  SHEET_CLASS(CEncryptionWizard), SHEET_CLASS(CPackageSheet), SHEET_CLASS(CPfxWizard),
                  SHEET_CLASS(CCodeSignWizard), SHEET_CLASS(CXQProfileWizard), SHEET_CLASS(CMailSummarySheet),
                  SHEET_CLASS(CEmbeddedSecurityPolicySheet), SHEET_CLASS(CUserProfileSetupWizard),
                  SHEET_CLASS(CSelTrustPointsSheet)});
}
