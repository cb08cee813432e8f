#pragma once
// Text rules and the form font shared by the sign-in dialogs.
#include "host/Functions.h"
#include "host/Prjconst.h"
#include "platform/ui/MessageBox.h"

#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <exception>
#include <functional>

namespace Signin {

// The forms are laid out for "宋体" at a given character height in pixels; where
// that font is missing, WenQuanYi Micro Hei draws both the Chinese and the Latin text.
inline QFont formFont(int pixelSize)
{
    QFont font;
    font.setFamilies({ QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei") });
    font.setPixelSize(pixelSize);
    return font;
}

// Key-down events of the edit boxes go to the form's handler, which moves the
// focus on Return. The key is not consumed: the edit box still gets it. A Return
// that has moved the focus is then not taken by the form as a press of the
// button the focus has just reached.
class EditKeyDown : public QObject
{
public:
    using Handler = std::function<void(int key, Qt::KeyboardModifiers shift)>;

    EditKeyDown(QWidget* form, const QList<QWidget*>& edits, Handler handler)
        : QObject(form)
        , m_form(form)
        , m_edits(edits)
        , m_handler(std::move(handler))
    {
        for (QWidget* edit : edits)
            edit->installEventFilter(this);
        form->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool isReturn = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (watched == m_form)
            return isReturn && m_returnMovedFocus;
        for (QWidget* edit : m_edits) {
            if (watched == edit) {
                m_handler(key->key(), key->modifiers());
                if (isReturn) {
                    // The same event reaches the form while this one is delivered.
                    m_returnMovedFocus = true;
                    QTimer::singleShot(0, this, [this] { m_returnMovedFocus = false; });
                }
                break;
            }
        }
        return false;
    }

private:
    QWidget* m_form;
    QList<QWidget*> m_edits;
    Handler m_handler;
    bool m_returnMovedFocus = false;
};

} // namespace Signin
