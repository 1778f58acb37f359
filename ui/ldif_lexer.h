// Applies the LDIF classifier to the text an editor pane shows, line by line, on demand.
#pragma once

#include <Qsci/qscilexercustom.h>

#include <QFont>
#include <string>
#include <vector>

#include "ui/ldif_styler.h"

namespace quorvane {

// Styles only the lines the editor asks for: the editor requests styling from the first
// unstyled position to the end of what it is about to draw, so a 50 MB file costs no more to
// load than a small one. The block-comment state at the end of each line is kept in the
// editor's line state, so styling can resume at any line.
class LdifLexer : public QsciLexerCustom {
  Q_OBJECT

 public:
  // Full: the source pane's highlighting. UrlsOnly: the result pane, which marks URL runs only.
  enum class Mode { Full, UrlsOnly };

  LdifLexer(Mode mode, const QFont& font, QObject* parent = nullptr);

  const char* language() const override;
  QString description(int style) const override;
  void styleText(int start, int end) override;

  Mode mode() const { return mode_; }
  // Bytes styled so far; lets tests and the benchmark check that loading styles nothing.
  long long styledBytes() const { return styledBytes_; }

 private:
  void setStyle(LdifStyle style, const QColor& text, const QColor& paper, bool bold, bool italic,
                bool underline, const QFont& font);

  Mode mode_;
  std::vector<StyledPiece> pieces_;
  std::string styles_;  // style bytes waiting to be handed to the editor
  long long styledBytes_ = 0;
};

}  // namespace quorvane
