// The sheet registry: every property sheet and wizard of the library is made by its class name from a static
// registration record that holds its factory, title, Wizard97 bitmaps and whether it is a wizard.
#pragma once

#include <vector>

#include "platform/mfc/cmdtarget.h"
#include "platform/win32/types.h"

class CBaseSheet;
class CWnd;

class SheetClassRecord {
 public:
  using Factory = CBaseSheet* (*)(CWnd* pParentWnd);

  // The title is cut to 255 characters.
  SheetClassRecord(const char* className, Factory create, const SheetClassRecord* parent, const char* title,
                   BYTE wizard, UINT watermarkId, UINT headerId);
  virtual ~SheetClassRecord() = default;
  SheetClassRecord(const SheetClassRecord&) = delete;
  SheetClassRecord& operator=(const SheetClassRecord&) = delete;

  // The new sheet, prepared: a wizard gets its bitmaps, the Wizard97 frame and its pages; any other sheet
  // gets its caption and the Help button, and its creator adds the pages. Null when the factory makes
  // nothing or a bitmap does not load (the half-made sheet is deleted then). The caller owns the sheet.
  CBaseSheet* CreateSheet(CWnd* pParentWnd) const;

  const char* m_pszClassName;
  Factory m_pfnCreate;
  const SheetClassRecord* m_pParent;
  char m_szTitle[256];
  UINT m_nWatermarkId;
  UINT m_nHeaderId;
  BYTE m_bWizard;
};

class SheetRecordList {
 public:
  SheetRecordList() { m_records.reserve(10); }
  virtual ~SheetRecordList() = default;
  std::vector<const SheetClassRecord*> m_records;
};

// The registered records in their fixed order (21; the base sheet's own record is not among them), filled on
// first use.
SheetRecordList& GetSheetRegistry();
// Appends every sheet's record in the fixed order. The frame names no sheet: the library's folder, which sits
// above every subsystem, defines this (library/SheetClasses.cpp).
void AddSheetClasses(std::vector<const SheetClassRecord*>& records);
// Empties the list; the next look-up fills it again in the same order.
void ResetSheetRegistry();

class CFormsObjectProvider : public CCmdTarget {
  DECLARE_DYNCREATE(CFormsObjectProvider)
 public:
  // Makes the sheet whose record has this class name (compared without regard to case); non-zero when one
  // was made. *ppSheet is the sheet or null.
  virtual BYTE CreateSheetByName(LPCSTR className, CWnd* pParentWnd, CBaseSheet** ppSheet);
};

// Declares a registered sheet class: its record, its factory and its GetSheetClass.
#define DECLARE_SHEET_CLASS(class_name)                         \
 public:                                                        \
  static const SheetClassRecord sheetClass##class_name;         \
  static CBaseSheet* CreateSheetObject(CWnd* pParentWnd);       \
  const SheetClassRecord* GetSheetClass() const override;

#define SHEET_CLASS(class_name) (&class_name::sheetClass##class_name)

// The factory constructs the sheet with the record's own title, the parent and selected page 0.
#define IMPLEMENT_SHEET_CLASS(class_name, parent_record, title, wizard, watermarkId, headerId)                \
  CBaseSheet* class_name::CreateSheetObject(CWnd* pParentWnd) {                                                \
    return new (std::nothrow) class_name(sheetClass##class_name.m_szTitle, pParentWnd, 0);                     \
  }                                                                                                            \
  const SheetClassRecord class_name::sheetClass##class_name(#class_name, &class_name::CreateSheetObject,       \
                                                            parent_record, title, wizard, watermarkId, headerId); \
  const SheetClassRecord* class_name::GetSheetClass() const { return &sheetClass##class_name; }
