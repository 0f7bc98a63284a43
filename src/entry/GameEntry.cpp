#include "entry/GameEntry.h"

#include "ui_GameEntry.h"

#include <QIcon>
#include <QPixmap>

GameEntry::GameEntry(const GameInfo &info, const QString &actionWord, QWidget *parent)
    : QWidget(parent)
{
    ui = new Ui::GameEntry;
    ui->setupUi(this);

    this->info = info;

    ui->pushButton->setToolTip(actionWord + u' ' + info.title);
    ui->labelTitle->setText(info.title);
    // The paragraph tag makes the tool tip rich text; the style keeps the
    // description's line breaks and runs of blanks.
    ui->labelTitle->setToolTip(QStringLiteral("<p style='white-space:pre'>") + info.description);

    // Bytes that are no image leave the pixmap null: the button just shows no picture.
    QPixmap pixmap;
    pixmap.loadFromData(info.icon);
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal, QIcon::Off);
    ui->pushButton->setIcon(icon);

    ui->pushButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->pushButton, &QPushButton::customContextMenuRequested, this,
            &GameEntry::ShowContextMenu);
    connect(ui->pushButton, &QPushButton::released, this, &GameEntry::HandleButton);
}

GameEntry::~GameEntry()
{
    delete ui;
}
