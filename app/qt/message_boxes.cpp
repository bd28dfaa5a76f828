// Qt implementations of the program's message boxes.
#include "message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {

TMessageBoxes gQtBoxes;
TMessageBoxes* gBoxes = &gQtBoxes;

// Texts are 8-bit: each byte is one character, so nothing is lost or guessed.
QString Text8(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString AppTitle() { return QStringLiteral("TervaneWinC"); }

}  // namespace

void TMessageBoxes::ShowMessage(const std::string& Text) {
  QMessageBox box(QMessageBox::NoIcon, AppTitle(), Text8(Text), QMessageBox::Ok);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

bool TMessageBoxes::AskYesNo(const std::string& Title, const std::string& Text) {
  QMessageBox box(QMessageBox::NoIcon, Text8(Title), Text8(Text),
                  QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  return box.exec() == QMessageBox::Yes;
}

void TMessageBoxes::ShowError(const std::string& Text) {
  QMessageBox box(QMessageBox::Critical, AppTitle(), Text8(Text), QMessageBox::Ok);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

TMessageBoxes& MessageBoxes() { return *gBoxes; }

void InstallMessageBoxes(TMessageBoxes* boxes) { gBoxes = boxes ? boxes : &gQtBoxes; }
