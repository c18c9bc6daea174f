#include "shell_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "artwork.h"

namespace {

constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

QPushButton* OkButton(QDialog* dialog) {
  auto* ok = new QPushButton("OK", dialog);
  ok->setObjectName("buttonOk");
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  return ok;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent, kDialogFlags) {
  setWindowTitle("バージョン情報");
  auto* icon = new QLabel(this);
  icon->setPixmap(ApplicationIcon().pixmap(32, 32));
  auto* text = new QLabel("Tamarind Version 1.08", this);
  text->setObjectName("version");
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  row->addWidget(text, 1);
  row->addWidget(OkButton(this), 0, Qt::AlignTop);
  setLayout(row);
}

FrameIncrementDialog::FrameIncrementDialog(const std::string& shown, QWidget* parent) : QDialog(parent, kDialogFlags) {
  setWindowTitle("Frame Increment Value");
  edit_ = new QLineEdit(QString::fromStdString(shown), this);
  edit_->setObjectName("edit1001");
  edit_->setAlignment(Qt::AlignRight);
  edit_->setMaxLength(16);
  edit_->selectAll();
  auto* row = new QHBoxLayout;
  row->addWidget(edit_, 1);
  row->addWidget(OkButton(this));
  setLayout(row);
}

std::string FrameIncrementDialog::text() const { return edit_->text().left(16).toStdString(); }

SettingsDialog::SettingsDialog(const SettingsDialogValues& shown, UiServices& ui, QWidget* parent)
    : QDialog(parent, kDialogFlags), ui_(ui), initialFolder_(shown.contentFolder) {
  setWindowTitle("Setting");

  auto* texture = new QGroupBox("Texture", this);
  loadTexture_ = new QCheckBox("Textureをロードする。", texture);
  loadTexture_->setObjectName("check1002");
  loadTexture_->setChecked(shown.loadTexture);
  setTexPath_ = new QCheckBox("TexturePathを指定する。", texture);
  setTexPath_->setObjectName("check1003");
  setTexPath_->setChecked(shown.setTexPath);
  textureFolder_ = new QLineEdit(QString::fromStdString(shown.textureFolder), texture);
  textureFolder_->setObjectName("edit1004");
  browseTexture_ = new QPushButton("参照...", texture);
  browseTexture_->setObjectName("button1005");
  auto* note = new QLabel("※TextuePathを設定しない場合はロードしたファイルと同階層のフォルダになります。", texture);
  note->setWordWrap(true);
  auto* textureGrid = new QGridLayout(texture);
  textureGrid->addWidget(loadTexture_, 0, 0, 1, 2);
  textureGrid->addWidget(setTexPath_, 1, 0, 1, 2);
  textureGrid->addWidget(textureFolder_, 2, 0);
  textureGrid->addWidget(browseTexture_, 2, 1);
  textureGrid->addWidget(note, 3, 0, 1, 2);

  auto* content = new QGroupBox("Content Directory", this);
  contentFolder_ = new QLineEdit(QString::fromStdString(shown.contentFolder), content);
  contentFolder_->setObjectName("edit1006");
  auto* browseContent = new QPushButton("参照...", content);
  browseContent->setObjectName("button1007");
  auto* contentRow = new QHBoxLayout(content);
  contentRow->addWidget(contentFolder_, 1);
  contentRow->addWidget(browseContent);

  auto* cancel = new QPushButton("ｷｬﾝｾﾙ", this);
  cancel->setObjectName("buttonCancel");
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OkButton(this));
  buttons->addWidget(cancel);

  auto* column = new QVBoxLayout(this);
  column->addWidget(texture);
  column->addWidget(content);
  column->addLayout(buttons);
  setMinimumWidth(400);

  connect(loadTexture_, &QCheckBox::toggled, this, [this] { ApplyEnableRules(); });
  connect(setTexPath_, &QCheckBox::toggled, this, [this] { ApplyEnableRules(); });
  connect(browseTexture_, &QPushButton::clicked, this, [this] { Browse(textureFolder_, "Texture Path"); });
  connect(browseContent, &QPushButton::clicked, this, [this] { Browse(contentFolder_, "Content Directory"); });
  ApplyEnableRules();
}

void SettingsDialog::ApplyEnableRules() {
  SettingsDialogEnables e = SettingsDialogEnableRules(loadTexture_->isChecked(), setTexPath_->isChecked());
  setTexPath_->setEnabled(e.setTexPath);
  textureFolder_->setEnabled(e.textureFolder);
  browseTexture_->setEnabled(e.browseTexture);
}

void SettingsDialog::Browse(QLineEdit* edit, const char* title) {
  FolderRequest request;
  request.title = title;
  request.initialFolder = initialFolder_;
  request.owner = DialogOwner::MainWindow;
  if (std::optional<std::string> folder = ui_.ChooseFolder(request)) edit->setText(QString::fromStdString(*folder));
}

SettingsDialogValues SettingsDialog::values() const {
  SettingsDialogValues v;
  v.loadTexture = loadTexture_->isChecked();
  v.setTexPath = setTexPath_->isChecked();
  v.textureFolder = ClampSettingsFolder(textureFolder_->text().toStdString());
  v.contentFolder = ClampSettingsFolder(contentFolder_->text().toStdString());
  return v;
}
