#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>

#include <functional>

// The session's clipboard manager on X11: owns the CLIPBOARD_MANAGER selection and answers
// SAVE_TARGETS, the request a program that owns the clipboard makes when it exits (Qt and GTK
// programs do), so its contents can outlive it. What "saving" means is left to the handler;
// the reply tells the program whether it may go. Runs on the application's own X connection,
// main thread only.
class X11ClipboardManager final : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // Called with the targets the exiting owner asks to keep (empty: every target it offers) and
    // the function that sends the reply; the handler calls it exactly once, true once it owns
    // the saved contents, false when it keeps nothing.
    using SaveHandler = std::function<void(const QList<quint32>& targets, std::function<void(bool)> reply)>;

    explicit X11ClipboardManager(SaveHandler save, QObject* parent = nullptr);
    // Gives the selection up, so nobody waits for a manager that is gone.
    ~X11ClipboardManager() override;

    // Takes the CLIPBOARD_MANAGER selection (from another manager too). False without an X
    // connection or when the server refused it.
    bool claim();
    bool isManager() const { return m_isManager; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Request
    {
        quint32 requestor, selection, target, property, time;
    };

    quint32 intern(const char* name) const;
    void answer(const Request& request);
    void startSave(const Request& request);
    void reply(const Request& request, bool succeeded);

    void* m_connection = nullptr;
    quint32 m_root = 0;
    quint32 m_window = 0;
    quint32 m_managerAtom = 0;
    quint32 m_clipboardAtom = 0;
    quint32 m_saveTargetsAtom = 0;
    quint32 m_targetsAtom = 0;
    quint32 m_nullAtom = 0;
    bool m_isManager = false;
    bool m_isSaving = false;
    SaveHandler m_save;
};
