// Every caption fits its control in the font the window really gets.  CTest
// runs this program once per font, each time with a fontconfig setup that
// knows that one font only (LAYOUT_FONT names it), so whatever the window
// asks for, it gets that font.  The scaled figures are printed.
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <cstdio>
#include <memory>

#include "app_test_support.h"
#include "tervane_client_form.h"
#include "tncnx.h"

namespace {

// The room the style gives the caption inside its control.
int CaptionRoom(const QWidget* w) {
  if (const auto* box = qobject_cast<const QCheckBox*>(w)) {
    QStyleOptionButton opt;
    opt.initFrom(box);
    opt.text = box->text();
    return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, box).width();
  }
  if (const auto* button = qobject_cast<const QPushButton*>(w)) {
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button).width();
  }
  if (const auto* label = qobject_cast<const QLabel*>(w)) return label->contentsRect().width();
  const auto* group = qobject_cast<const QGroupBox*>(w);
  QStyleOptionGroupBox opt;
  opt.initFrom(group);
  opt.text = group->title();
  opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
  opt.textAlignment = Qt::AlignLeft;
  const QRect label =
      group->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
  // The title's own rectangle, as far as the frame lets it run.
  return std::min(label.right(), group->width() - 1) - label.left() + 1;
}

QString Caption(const QWidget* w) {
  if (const auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
  if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
  if (const auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
  return {};
}

TEST(LayoutFit, EveryCaptionFitsItsControl) {
  const char* expected = std::getenv("LAYOUT_FONT");
  ASSERT_TRUE(expected) << "run by CTest with LAYOUT_FONT and FONTCONFIG_FILE";
  apptest::App();
  apptest::ScratchDir dir;
  dir.Write("Tervane.ini", "[Settings]\nHostName=127.0.0.1\nAutoConnect=0\n");
  apptest::RecordingBoxes boxes;
  auto form = std::make_unique<TTervaneClientForm>(dir.File("TervaneWinC"));
  const QFontInfo font(form->font());
  ASSERT_TRUE(font.family().contains(QString::fromLatin1(expected))) << font.family().toStdString();

  // The status panel's longest text and font stay what they were once the
  // state has changed back and forth.
  form->TnCnx()->OnSessionConnected(form->TnCnx(), 0);
  form->TnCnx()->OnSessionClosed(form->TnCnx(), 0);
  EXPECT_EQ(QFontInfo(form->StatPanel->font()).pixelSize(), font.pixelSize());

  int captions = 0;
  for (QWidget* w : form->Panel1->findChildren<QWidget*>()) {
    const QString text = Caption(w);
    if (text.isEmpty()) continue;
    ++captions;
    const int width = QFontMetrics(w->font()).horizontalAdvance(text);
    EXPECT_LE(width, CaptionRoom(w)) << w->objectName().toStdString() << " \""
                                     << text.toStdString() << "\"";
  }
  EXPECT_EQ(captions, 18);
  // The proportions hold: the panel and the console follow the factors.
  const TLayoutScale& s = form->Scale();
  EXPECT_EQ(form->width(), s.Width(607));
  EXPECT_EQ(form->height(), s.Height(161));
  form->ShowCheckBox->click();
  EXPECT_EQ(form->height(), s.Height(453));
  std::printf("layout: %s %dpx, factors %.3f x %.3f, window %dx%d (console shown %dx%d)\n",
              font.family().toStdString().c_str(), font.pixelSize(), s.X, s.Y,
              form->width() + TTervaneClientForm::kFrameWidth,
              s.Height(161) + TTervaneClientForm::kFrameHeight,
              form->width() + TTervaneClientForm::kFrameWidth,
              form->height() + TTervaneClientForm::kFrameHeight);
}

}  // namespace
