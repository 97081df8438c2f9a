// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_box.h"

#include "app/app_images.h"
#include "app/credits_strip.h"
#include "app/widgets/named_colours.h"
#include "app/widgets/ui_font.h"
#include "platform/version_record.h"

#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int ClientWidth = 305;
constexpr int ClientHeight = 193;
constexpr int ValueLeft = 112;

using namespace NamedColour;

// Arial 8 pt (11 px), or the sans-serif that stands in for it.
QFont BoxFont(const QString& family)
{
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QString& text, const QColor& colour)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QFrame* MakeSeparator(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(left, top, width, 2);
    return line;
}

QLabel* MakeBullet(QWidget* parent, const char* name, int left, int top)
{
    auto* image = new QLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(left, top, 12, 12);
    image->setScaledContents(true);
    image->setPixmap(BulletPixmap());
    return image;
}

} // namespace

TfmAbout::TfmAbout(QWidget* owner, const QString& executable)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
    , FExecutable(executable)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("A propos..."));
    setFont(BoxFont(QStringLiteral("Arial")));
    setFixedSize(ClientWidth, ClientHeight);
    CreateItems();
    CentreOnScreen(owner);
    FormCreate();
}

void TfmAbout::CreateItems()
{
    const QColor windowText = palette().color(QPalette::WindowText);

    lblThanks = MakeLabel(this, "lblThanks", 8, 144, QStringLiteral("Remerciements"), Silver);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(16, 16, 32, 32);
    ProgramIcon->setScaledContents(true);

    Bevel2 = MakeSeparator(this, "Bevel2", 16, 56, 273);
    Image1 = MakeBullet(this, "Image1", 16, 72);
    Image2 = MakeBullet(this, "Image2", 16, 88);
    Image3 = MakeBullet(this, "Image3", 16, 104);
    Version = MakeLabel(this, "Version", 32, 72, QStringLiteral("Version :"), Maroon);
    Copyright = MakeLabel(this, "Copyright", 32, 88, QStringLiteral("Copyright :"), Maroon);
    Comments = MakeLabel(this, "Comments", 32, 104, QStringLiteral("Commentaires :"), Maroon);
    for (QLabel* caption : {Version, Copyright, Comments})
        FitLabelToWidth(caption, ValueLeft - 32 - 2);
    Bevel1 = MakeSeparator(this, "Bevel1", 8, 136, 289);

    Label2 = MakeLabel(this, "Label2", 127, 40, QStringLiteral("Générateur de courbe de vélocité"), windowText);
    FitLabelToWidth(Label2, 162);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setFixedWidth(162);

    Title = new QLabel(this);
    Title->setObjectName(QStringLiteral("Title"));
    Title->setGeometry(120, 8, 177, 33);
    Title->setTextFormat(Qt::RichText);
    Title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Title->setText(QStringLiteral(
        "<span style=\"font-family: Arial, sans-serif; font-size: 24px; font-weight: bold; font-style: italic;\">"
        "<span style=\"color: #000080;\">Velo</span><span style=\"color: #800000;\">morph</span></span>"));

    lblVersion = MakeLabel(this, "lblVersion", ValueLeft, 72, QString(), Yellow);
    lblCopyright = MakeLabel(this, "lblCopyright", ValueLeft, 88, QString(), Yellow);
    lblComments = MakeLabel(this, "lblComments", ValueLeft, 104, QString(), Yellow);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(216, 160, 81, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    Credits = new TCreditsStrip(this);
    Credits->setObjectName(QStringLiteral("Credits"));
    Credits->setFont(BoxFont(QStringLiteral("MS Sans Serif")));
    Credits->setGeometry(8, 160, 200, 25);
    Credits->SetLines({QStringLiteral("Merci aux musiciens testeurs"), QStringLiteral("et aux projets Qt et RtMidi !")});
}

void TfmAbout::CentreOnScreen(QWidget* owner)
{
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
}

void TfmAbout::FormCreate()
{
    Credits->Start();
    ProgramIcon->setPixmap(ApplicationIcon().pixmap(QSize(32, 32)));

    const std::optional<TVersionRecord> record = ReadVersionRecord(QFile::encodeName(FExecutable).toStdString());
    const auto show = [this, &record](QLabel* label, const char* name) {
        if (!record)
            label->setText(NoRecordText);
        else
            label->setText(QString::fromStdString(record->QueryString(name).value_or(std::string())));
        label->setFont(font());
        label->adjustSize();
        FitLabelToWidth(label, ClientWidth - ValueLeft - 4);
    };
    show(lblVersion, "FileVersion");
    show(lblCopyright, "LegalCopyright");
    show(lblComments, "Comments");
}

void TfmAbout::FormClose()
{
    Credits->Stop();
}

void TfmAbout::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfmAbout::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, Aqua);
    gradient.setColorAt(1, Blue);
    painter.fillRect(rect(), gradient);
}
