#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

#include "ui/credentials_dialog.h"

namespace kestrova::ui {

bool AskCredentials(TCredentialsAsker asker, const std::string& host, std::string& user_name,
                    std::string& password) {
  // In front of whichever window is active (the download dialog stays on top, so
  // the question must too); a guarded pointer, as that window may go meanwhile.
  QPointer<QDialog> dialog = new QDialog(QApplication::activeWindow());
  dialog->setObjectName("CredentialsDialog");
  dialog->setWindowTitle(QString::fromStdString(CredentialsCaption(asker)));
  dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
  dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* question = new QLabel(QString::fromStdString(CredentialsQuestion(asker, host)), dialog);
  question->setObjectName("Question");
  question->setWordWrap(true);
  auto* user_edit = new QLineEdit(QString::fromStdString(user_name), dialog);
  user_edit->setObjectName("UserName");
  auto* password_edit = new QLineEdit(QString::fromStdString(password), dialog);
  password_edit->setObjectName("Password");
  password_edit->setEchoMode(QLineEdit::Password);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);

  auto* fields = new QFormLayout;
  fields->addRow("User name:", user_edit);
  fields->addRow("Password:", password_edit);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(question);
  layout->addLayout(fields);
  layout->addWidget(buttons);
  dialog->setMinimumWidth(320);
  user_edit->setFocus();

  const bool accepted = dialog->exec() == QDialog::Accepted && dialog;
  if (accepted) {
    user_name = user_edit->text().toStdString();
    password = password_edit->text().toStdString();
  }
  delete dialog.data();
  return accepted;
}

}  // namespace kestrova::ui
