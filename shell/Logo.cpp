#include "shell/Logo.h"

#include "ui_Logo.h"

#include <QGuiApplication>
#include <QScreen>

static void loadArtwork()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(kolvane);
        return true;
    }();
    Q_UNUSED(loaded);
}

namespace Logo {
TfrmLogo* frmLogo = nullptr;
}

TfrmLogo::TfrmLogo(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint)
    , ui(new Ui::FrmLogo)
{
    loadArtwork();
    ui->setupUi(this);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
}

TfrmLogo::~TfrmLogo()
{
    if (Logo::frmLogo == this)
        Logo::frmLogo = nullptr;
}
