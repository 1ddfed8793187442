// A serialisable piece of formatted text: position, two stored attributes, a font and the text split into
// words for line breaking. Made only through its run-time class (archives that hold paragraphs).
#pragma once

#include "platform/mfc/carchive.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/gdiobj.h"

class CParagraph : public CObject {
  DECLARE_SERIAL(CParagraph)
 public:
  CParagraph() = default;
  ~CParagraph() override = default;

  // Stores the text and splits it into words: a line feed becomes a blank, a carriage return and a blank
  // after a blank are dropped; each word keeps its trailing blank, the rest after the last blank is the
  // last word (possibly empty).
  void SetText(const CString& text);
  // Weight 700 when bold is 1, else 400; the font is made again.
  void SetFont(const CString& face, int height, BOOL bold);
  void Serialize(CArchive& ar) override;

  const CString& GetText() const { return m_strText; }
  const CStringList& GetWords() const { return m_lstWords; }
  const CString& GetFaceName() const { return m_strFaceName; }
  int GetHeight() const { return m_nHeight; }
  int GetWeight() const { return m_nWeight; }
  BOOL IsFontMade() const { return m_bFontMade; }

  int m_x = 0;
  int m_y = 0;
  WORD m_wAttributeA = 0;
  WORD m_wAttributeB = 0;

 private:
  CStringList m_lstWords{10};
  CString m_strText;
  CFont m_font;
  BOOL m_bFontMade = FALSE;
  CString m_strFaceName;
  int m_nHeight = 0;
  int m_nWeight = 0;
};
