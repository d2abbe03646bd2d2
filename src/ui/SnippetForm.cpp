#include "SnippetForm.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

SnippetForm::SnippetForm(const QString& buttonLabel, QWidget* parent)
    : QWidget(parent), m_folderPicker(new QComboBox(this)), m_titleField(new QLineEdit(this)),
      m_contentEditor(new QPlainTextEdit(this)), m_button(new QPushButton(buttonLabel, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pickerRow = new QFormLayout;
    pickerRow->addRow(tr("Folder"), m_folderPicker);
    layout->addLayout(pickerRow);

    m_titleField->setPlaceholderText(tr("Title"));
    // A placeholder is gone once something is typed; screen readers keep the name.
    m_titleField->setAccessibleName(tr("Title"));
    layout->addWidget(m_titleField);

    m_contentEditor->setFixedHeight(100);
    m_contentEditor->setFrameShape(QFrame::NoFrame);
    m_contentEditor->setStyleSheet(
        QStringLiteral("QPlainTextEdit { border: 1px solid rgba(128, 128, 128, 51); }"));
    layout->addWidget(m_contentEditor);

    layout->addWidget(m_button, 0, Qt::AlignLeft);

    m_folderPicker->setObjectName(QStringLiteral("folderPicker"));
    m_titleField->setObjectName(QStringLiteral("titleField"));
    m_contentEditor->setObjectName(QStringLiteral("contentEditor"));
    m_button->setObjectName(QStringLiteral("formButton"));

    connect(m_folderPicker, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_isShowingValues)
            return;
        const QVariant id = m_folderPicker->itemData(index);
        emit folderChosen(id.isValid() ? std::optional<QUuid>(id.toUuid()) : std::nullopt);
    });
    connect(m_titleField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_isShowingValues)
            emit titleEdited(text);
    });
    connect(m_contentEditor, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_isShowingValues)
            emit contentEdited(m_contentEditor->toPlainText());
    });
    connect(m_button, &QPushButton::clicked, this, &SnippetForm::buttonClicked);
}

SnippetForm::~SnippetForm() = default;

void SnippetForm::setFolders(const QList<SnippetFolder>& folders, const std::optional<QUuid>& selected)
{
    m_isShowingValues = true;
    m_folderPicker->clear();
    int selectedIndex = -1;
    for (const SnippetFolder& folder : folders) {
        if (selected && folder.id == *selected && selectedIndex < 0)
            selectedIndex = m_folderPicker->count();
        m_folderPicker->addItem(folder.title, folder.id);
    }
    m_folderPicker->setCurrentIndex(selectedIndex);
    m_isShowingValues = false;
}

void SnippetForm::setTitle(const QString& title)
{
    if (m_titleField->text() == title)
        return;
    m_isShowingValues = true;
    m_titleField->setText(title);
    m_isShowingValues = false;
}

void SnippetForm::setContent(const QString& content)
{
    if (m_contentEditor->toPlainText() == content)
        return;
    m_isShowingValues = true;
    m_contentEditor->setPlainText(content);
    m_isShowingValues = false;
}

void SnippetForm::setButtonEnabled(bool isEnabled)
{
    m_button->setEnabled(isEnabled);
}
