#include "app/SheetRegistry.h"

#include <cstring>
#include <new>

#include "app/BaseSheet.h"
#include "platform/mfc/afxstate.h"

SheetClassRecord::SheetClassRecord(const char* className, Factory create, const SheetClassRecord* parent,
                                   const char* title, BYTE wizard, UINT watermarkId, UINT headerId)
    : m_pszClassName(className),
      m_pfnCreate(create),
      m_pParent(parent),
      m_nWatermarkId(watermarkId),
      m_nHeaderId(headerId),
      m_bWizard(wizard) {
  strncpy(m_szTitle, title ? title : "", sizeof m_szTitle - 1);
  m_szTitle[sizeof m_szTitle - 1] = 0;
}

CBaseSheet* SheetClassRecord::CreateSheet(CWnd* pParentWnd) const {
  CBaseSheet* sheet = m_pfnCreate ? m_pfnCreate(pParentWnd) : nullptr;
  if (!sheet) return nullptr;
  if (!m_bWizard) {
    sheet->Construct(m_szTitle, pParentWnd, 0);
    sheet->m_psh.dwFlags |= PSH_HASHELP;
    return sheet;
  }
  // A wizard whose pictures are missing is not shown at all; the half-made sheet goes.
  if ((m_nWatermarkId && !sheet->m_bmpWatermark.LoadBitmap(m_nWatermarkId)) ||
      (m_nHeaderId && !sheet->m_bmpHeader.LoadBitmap(m_nHeaderId))) {
    delete sheet;
    return nullptr;
  }
  sheet->Construct(m_szTitle, pParentWnd, 0, static_cast<HBITMAP>(sheet->m_bmpWatermark.GetSafeHandle()), nullptr,
                   static_cast<HBITMAP>(sheet->m_bmpHeader.GetSafeHandle()));
  sheet->SetWizardMode();
  sheet->m_psh.dwFlags |= PSH_WIZARD97 | PSH_HASHELP;
  sheet->m_psh.hInstance = AfxGetResourceHandle();
  sheet->m_psh.pszCaption = m_szTitle;
  sheet->AddPages();
  sheet->OnPagesAdded();
  return sheet;
}

namespace {
SheetRecordList g_records;
bool g_filled = false;
}  // namespace

SheetRecordList& GetSheetRegistry() {
  if (!g_filled) {
    AddSheetClasses(g_records.m_records);
    g_filled = true;
  }
  return g_records;
}

void ResetSheetRegistry() {
  g_filled = false;
  g_records.m_records.clear();
}

IMPLEMENT_DYNCREATE(CFormsObjectProvider, CCmdTarget)

BYTE CFormsObjectProvider::CreateSheetByName(LPCSTR className, CWnd* pParentWnd, CBaseSheet** ppSheet) {
  CBaseSheet* sheet = nullptr;
  CString name(className ? className : "");
  for (const SheetClassRecord* record : GetSheetRegistry().m_records) {
    if (name.CompareNoCase(record->m_pszClassName) == 0) {
      sheet = record->CreateSheet(pParentWnd);
      break;
    }
  }
  BYTE made = sheet != nullptr;
  if (ppSheet) *ppSheet = sheet;
  else delete sheet;  // nobody to hand it to
  return made;
}
