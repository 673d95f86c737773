// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window tests share: a ladder file made from the ladder's text form, a paint device
// that keeps the texts a page or the view draws (so tests compare words, not pixels), and
// dialogs that are all cancelled.
#include "rungpad/files/ladderfile.h"
#include "rungpad/model/laddertext.h"
#include "rungpad/ui/rungpaddialogs.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QStringList>

#include <gtest/gtest.h>

#include <climits>

namespace rungpad::ui::testsupport {

inline QByteArray ladderFile(const char* text, const CommentTables& comments = {}, const LadderInfo& info = {})
{
    LadderTextError e;
    auto ladder = readLadderText(QString::fromUtf8(text), &e);
    if (!ladder) {
        ADD_FAILURE() << "bad ladder text at " << e.textLine << ": " << e.message.toStdString();
        return {};
    }
    return formatLadderPart(*ladder, info, NumberField::FromText) + formatCommentRecords(*ladder, comments);
}

// Collects the texts a page draws.
class TextRecorder : public QPaintEngine {
public:
    TextRecorder() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawLines(const QLineF*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override { texts << item.text(); }
    Type type() const override { return QPaintEngine::User; }
    QStringList texts;
};

// An A4 page at 254 dots an inch that records instead of drawing.
class TextDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable TextRecorder engine;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return 2100;
        case PdmHeight: return 2970;
        case PdmWidthMM: return 210;
        case PdmHeightMM: return 297;
        case PdmDepth: return 32;
        case PdmNumColors: return INT_MAX;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 254;
        }
    }
};

// Every dialog cancelled, as a user pressing Escape would; tests override what they answer.
class NoDialogs : public RungpadDialogs {
public:
    QString openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override { return {}; }
    bool editLadderInfo(QWidget*, LadderInfo&, int) override { return false; }
    bool pageSetup(QWidget*, QPrinter&) override { return false; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    std::optional<QString> elementText(QWidget*, const QString&, const QString&, bool, int) override { return std::nullopt; }
    std::optional<QString> functionName(QWidget*, int) override { return std::nullopt; }
    std::optional<int> insertLineCount(QWidget*, int) override { return std::nullopt; }
    std::optional<QString> notationText(QWidget*, const QString&, const QString&, int) override { return std::nullopt; }
    std::optional<FindRequest> findRequest(QWidget*, const FindRequest&, bool, int) override { return std::nullopt; }
    std::optional<int> lineNumber(QWidget*, int, int, int) override { return std::nullopt; }
};

}  // namespace rungpad::ui::testsupport
