#include "shell/Logo.h"

#include "host/ui/Artwork.h"
#include "ui_Logo.h"

#include <QGuiApplication>
#include <QScreen>

namespace Logo {
TfrmLogo* frmLogo = nullptr;
}

TfrmLogo::TfrmLogo(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint)
    , ui(new Ui::FrmLogo)
{
    Artwork::load();
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
