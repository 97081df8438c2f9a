// SPDX-License-Identifier: GPL-3.0-or-later
// Copying the curve to the clipboard: its 128 values as text, the chart as a
// picture.
#include "app/main_window.h"

#include "app/clipboard_export.h"
#include "app/widgets/chart_series.h"
#include "app/widgets/curve_chart.h"
#include "curve/curve_text.h"

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
