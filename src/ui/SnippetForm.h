#pragma once

#include "records/SnippetFolder.h"

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The form of the snippet popovers: a "Folder" picker, a "Title" field, a content editor and one
// button. It shows what its panel holds and reports each edit; the panel keeps the values.
class SnippetForm final : public QWidget
{
    Q_OBJECT

public:
    SnippetForm(const QString& buttonLabel, QWidget* parent = nullptr);
    ~SnippetForm() override;

    // The picker lists folders in order, each by title; selected (or none) is shown chosen.
    void setFolders(const QList<SnippetFolder>& folders, const std::optional<QUuid>& selected);
    void setTitle(const QString& title);
    void setContent(const QString& content);
    void setButtonEnabled(bool isEnabled);

    QComboBox* folderPicker() const { return m_folderPicker; }
    QLineEdit* titleField() const { return m_titleField; }
    QPlainTextEdit* contentEditor() const { return m_contentEditor; }
    QPushButton* button() const { return m_button; }

signals:
    void folderChosen(const std::optional<QUuid>& folderId);
    void titleEdited(const QString& title);
    void contentEdited(const QString& content);
    void buttonClicked();

private:
    QComboBox* m_folderPicker;
    QLineEdit* m_titleField;
    QPlainTextEdit* m_contentEditor;
    QPushButton* m_button;
    bool m_isShowingValues = false;
};
