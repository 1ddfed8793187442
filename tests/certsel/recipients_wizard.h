// A signer wizard whose page 3 is the recipients page; the other places hold plain pages (templates 9300 + i,
// registered by the test), so that Next can be seen to land on page 4 (or page 10 of a one-click preset wizard).
#pragma once

#include <memory>
#include <vector>

#include "platform/mfc/propsheet.h"
#include "signing/SelectCertPage.h"

namespace certsel {

template <class Base>
class Wizard : public Base {
 public:
  explicit Wizard(int pageCount) : Base("Signer Wizard", nullptr, 0) {
    while (this->GetPageCount() > 0) this->RemovePage(0);
    for (int i = 0; i < pageCount; ++i) {
      if (i == 3) {
        this->AddPage(&m_Recipients);
        continue;
      }
      m_Others.push_back(std::make_unique<CPropertyPage>(9300 + i));
      this->AddPage(m_Others.back().get());
    }
    this->SetWizardMode();
    this->m_bHosted = 0;
    this->m_nStartPage = 3;
  }
  CSelectCertPage m_Recipients;
  std::vector<std::unique_ptr<CPropertyPage>> m_Others;
};

}  // namespace certsel
