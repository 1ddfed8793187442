#include "controls/Paragraph.h"

IMPLEMENT_SERIAL(CParagraph, CObject, 0)

void CParagraph::SetText(const CString& text) {
  m_strText = text;
  m_lstWords.RemoveAll();
  std::string copy;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    if (c == '\r') continue;
    if (c == '\n') c = ' ';
    if (c == ' ' && !copy.empty() && copy.back() == ' ') continue;
    copy += c;
  }
  size_t start = 0;
  for (size_t i = 0; i < copy.size(); ++i) {
    if (copy[i] != ' ') continue;
    m_lstWords.AddTail(CString(copy.substr(start, i + 1 - start).c_str()));
    start = i + 1;
  }
  m_lstWords.AddTail(CString(copy.substr(start).c_str()));
}

void CParagraph::SetFont(const CString& face, int height, BOOL bold) {
  m_strFaceName = face;
  m_nHeight = height;
  m_nWeight = bold == 1 ? 700 : 400;
  m_font.DeleteObject();
  m_bFontMade = m_font.CreateFont(height, 0, 0, 0, m_nWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face);
}

void CParagraph::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << static_cast<LONG>(m_x) << static_cast<LONG>(m_y) << m_wAttributeA << m_wAttributeB << m_strText
       << m_strFaceName << static_cast<SHORT>(m_nHeight) << static_cast<SHORT>(m_nWeight);
    return;
  }
  LONG x = 0, y = 0;
  SHORT height = 0, weight = 0;
  CString text, face;
  ar >> x >> y >> m_wAttributeA >> m_wAttributeB >> text >> face >> height >> weight;
  m_x = x;
  m_y = y;
  // Stored as 16 bits: sign-extended, so the usual negative character heights come back as they were.
  SetText(text);
  SetFont(face, height, weight == 700);
}
