#pragma once
// Rounded rectangles for drawing code: x radius a, y radius b; a zero radius gives a plain
// rectangle.
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

// Filled with the painter's brush; the overlay scroller's knob.
void fillRoundedRect(QPainter& painter, qreal xRadius, qreal yRadius, const QRectF& rect);
// Outlined one unit wide in the painter's pen colour.
void strokeRoundedRect(QPainter& painter, qreal xRadius, qreal yRadius, const QRectF& rect);

// Adds the closed outline to `path`: four quarter ellipses of radii a and b joined by the
// rectangle's edges, starting at the middle of the right edge.
void addRoundedRectToPath(QPainterPath& path, qreal a, qreal b, const QRectF& rect);

enum class RoundedRectDrawing { fill, stroke };
// The outline of addRoundedRectToPath, filled by the even-odd rule or stroked.
void drawRoundedRectPath(QPainter& painter, qreal a, qreal b, const QRectF& rect, RoundedRectDrawing how);
