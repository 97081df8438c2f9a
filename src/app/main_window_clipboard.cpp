// SPDX-License-Identifier: GPL-3.0-or-later
// Copying the curve to the clipboard: its 128 values as text, the chart as a
// picture, its points as a short list; pasting such a list.
#include "app/main_window.h"

#include "app/clipboard_export.h"
#include "app/widgets/chart_series.h"
#include "app/widgets/curve_chart.h"
#include "curve/curve_list_text.h"
#include "curve/curve_text.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <array>
#include <cmath>
#include <memory>

QString TfmMain::BuildCurveText() const
{
    // The values as the line series shows them, any fraction dropped.
    std::array<int, 128> values{};
    for (int i = 0; i < 128; ++i)
        values[std::size_t(i)] = int(std::trunc(Series1->Value(i).Y));
    return QString::fromStdString(::BuildCurveText(values));
}

void TfmMain::CopyCurveText()
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QString::fromStdString(ClipboardCurveText(BuildCurveText().toStdString())));
    PlaceOnClipboard(QGuiApplication::clipboard(), std::move(data));
}

void TfmMain::CopyChartBitmap()
{
    auto data = std::make_unique<QMimeData>();
    data->setImageData(Chart1->RenderToImage());
    PlaceOnClipboard(QGuiApplication::clipboard(), std::move(data));
}

void TfmMain::ActGraphCopyAsBitmapExecute(QObject* /*Sender*/)
{
    CopyChartBitmap();
}

void TfmMain::ActGraphCopyAsTextExecute(QObject* /*Sender*/)
{
    CopyCurveText();
}

void TfmMain::ActCopyCurveListExecute(QObject* /*Sender*/)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QString::fromStdString(CurveListText(CurrentPoints())));
    PlaceOnClipboard(QGuiApplication::clipboard(), std::move(data));
}

void TfmMain::ActPasteCurveExecute(QObject* /*Sender*/)
{
    const QString text = QGuiApplication::clipboard()->text();
    CurveFromText curve{};
    try {
        curve = ParseCurveListText(text.toStdString());
    } catch (const ECurveTextError& error) {
        prompts.ShowError(this, QString::fromStdString(error.what()));
        return;
    }
    SetCurvePoints(curve.Points);
    if (curve.Fitted)
        prompts.ShowMessage(this, QStringLiteral("La courbe collée a plus de %1 points : elle a été ajustée à %1 points "
                                                 "et au point final.")
                                      .arg(MaxPointCount));
}
