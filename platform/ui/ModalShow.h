#pragma once
// Modal show of a dialog. Production runs QDialog::exec(); a test installs a
// handler that acts on the dialog as a person would and returns the result.
#include <functional>

class QDialog;

namespace Platform {

enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

using ModalHandler = std::function<int(QDialog* dialog)>;

int ShowModal(QDialog* dialog);
void setModalHandler(ModalHandler handler);

} // namespace Platform
