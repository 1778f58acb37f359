// The window's skinned look: one style sheet, captioned panels, flat buttons, its own icon.
#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace quorvane {

// The style sheet of the whole window; every colour of the look is in it.
const char* WindowStyleSheet();

// A bordered panel with a caption bar over `content`; `buddy`, when given, is the widget the
// caption's mnemonic (an "&" in `caption`) gives the focus to.
QWidget* CaptionedPanel(const QString& caption, QWidget* content, QWidget* buddy = nullptr);

// Keeps `follower` exactly as high as `leader`, so that the caption bars of the two bottom
// panels, one in each column, stay level however the leader grows.
void KeepSameHeight(QWidget* leader, QWidget* follower);

// The window's own icon, built into the program.
QIcon WindowIcon();

}  // namespace quorvane
