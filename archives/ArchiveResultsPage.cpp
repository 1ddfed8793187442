#include "archives/ArchiveResultsPage.h"

#include "app/ResString.h"

IMPLEMENT_DYNAMIC(CArchiveResultsPage, CResultsPageBase)

CArchiveResultsPage::CArchiveResultsPage(UINT nIDTemplate) : CResultsPageBase(nIDTemplate, 0, 164, 165) {}

CString CArchiveResultsPage::RunAgainQuestion() { return LoadResString(555) + "\n" + LoadResString(328); }

CString CArchiveResultsPage::DetailsTitle() { return LoadResString(556); }

bool CArchiveResultsPage::IsOwnOutput(const CString& target, const CString& output) {
  return kx::archives::SameFile(target, output);
}
