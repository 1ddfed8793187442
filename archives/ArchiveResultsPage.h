// What the package wizard's processing page and the code-signing wizard's results page add to the results page
// of the protect wizards: their texts and finish code, the details sheet zooming out of its button, the list
// taking the focus, and a copy never saved onto its own output, whatever the spelling of the path.
#pragma once

#include "signing/ResultsPage.h"

class CArchiveResultsPage : public CResultsPageBase {
  DECLARE_DYNAMIC(CArchiveResultsPage)
 public:
  explicit CArchiveResultsPage(UINT nIDTemplate);

 protected:
  WPARAM FinishCode() override { return 101; }
  UINT SuccessTextId(BOOL) override { return 557; }
  CString RunAgainQuestion() override;
  CString DetailsTitle() override;
  bool FocusesFilledList() override { return true; }
  bool RefusesOwnNameFirst() override { return true; }
  // A file copied onto itself would be emptied.
  bool IsOwnOutput(const CString& target, const CString& output) override;
  bool ZoomsDetailsFromButton() override { return true; }
};
