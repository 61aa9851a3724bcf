#include "qt/qt_dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

#include "app/port_text.h"
#include "qt/main_window.h"

namespace tavric::qt {
namespace {

// Texts break their lines with a carriage return; a label wants a line feed.
QString display_text(const std::string& text) {
  return QString::fromStdString(text)
      .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
      .replace(QChar('\r'), QChar('\n'));
}

}  // namespace

void QtDialogs::message(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Information, QString::fromStdString(title), display_text(text),
                  QMessageBox::Ok, &window_);
  box.exec();
  window_.check_open();
}

std::string QtDialogs::prompt(const std::string& title, const std::string& text,
                              const std::string& default_text) {
  QInputDialog dialog(&window_);
  dialog.setWindowTitle(QString::fromStdString(title));
  QString label = display_text(text);
  if (port_note && asks_for_port(title)) {
    label += QStringLiteral("\n\n") + display_text(port_note());
  }
  dialog.setLabelText(label);
  dialog.setTextValue(QString::fromStdString(default_text));
  dialog.setInputMode(QInputDialog::TextInput);
  const int result = dialog.exec();
  window_.check_open();
  if (result != QDialog::Accepted) return {};
  return dialog.textValue().toStdString();
}

}  // namespace tavric::qt
