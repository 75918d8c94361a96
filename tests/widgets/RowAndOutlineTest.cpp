#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPainter>
#include <QSlider>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "display/widgets/BackGroundView.h"
#include "display/widgets/LumivarOutlineView.h"
#include "display/widgets/LumivarTableRowView.h"
#include "tests/widgets/OffscreenApplication.h"

namespace {

QColor paintedRow(const LumivarTableRowView& delegate, QStandardItem* item) {
    QStandardItemModel model;
    model.appendRow(item);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 100, 20);
    option.state = QStyle::State_Enabled | QStyle::State_Selected | QStyle::State_Active;
    option.palette.setColor(QPalette::Highlight, Qt::blue);
    option.palette.setColor(QPalette::Base, Qt::white);
    QImage image(100, 20, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    delegate.paint(&painter, option, model.index(0, 0));
    return image.pixelColor(90, 10);
}

// Rows paint their override (or their own background) and never the selection.
TEST(LumivarTableRowView, BackgroundOverrideAndNoSelection) {
    LumivarTableRowView delegate;
    EXPECT_EQ(paintedRow(delegate, new QStandardItem), QColor(Qt::white));
    auto* tinted = new QStandardItem;
    tinted->setBackground(Qt::yellow);
    EXPECT_EQ(paintedRow(delegate, tinted), QColor(Qt::yellow));
    delegate.setBgOveride(QColor(40, 40, 40));
    auto* other = new QStandardItem;
    other->setBackground(Qt::yellow);
    EXPECT_EQ(paintedRow(delegate, other), QColor(40, 40, 40));
}

// Steppers and text fields inside the rows take the focus on a click; the rest keep theirs.
TEST(LumivarOutlineView, StepperAndTextFieldTakeFocus) {
    LumivarOutlineView outline;
    QStandardItemModel model;
    model.appendRow(new QStandardItem("Exposure"));
    outline.setModel(&model);
    auto* row = new QWidget;
    auto* field = new QLineEdit(row);
    auto* stepper = new QSpinBox(row);
    auto* slider = new QSlider(row);
    for (QWidget* w :
         {static_cast<QWidget*>(field), static_cast<QWidget*>(stepper), static_cast<QWidget*>(slider)})
        w->setFocusPolicy(Qt::NoFocus);
    outline.setIndexWidget(model.index(0, 0), row);
    outline.show();

    EXPECT_TRUE(outline.validateProposedFirstResponder(field));
    EXPECT_TRUE(outline.validateProposedFirstResponder(stepper));
    EXPECT_FALSE(outline.validateProposedFirstResponder(slider));
    EXPECT_TRUE(field->focusPolicy() & Qt::ClickFocus);
    EXPECT_TRUE(stepper->focusPolicy() & Qt::ClickFocus);
    EXPECT_EQ(slider->focusPolicy(), Qt::NoFocus);
}

TEST(BackGroundViews, FillWithTheirColours) {
    BackGroundView chosen;
    chosen.resize(10, 10);
    EXPECT_EQ(widgets_test::grabbed(chosen).pixelColor(5, 5), chosen.palette().color(QPalette::Base));
    chosen.setBg(QColor(10, 20, 30));
    EXPECT_EQ(widgets_test::grabbed(chosen).pixelColor(5, 5), QColor(10, 20, 30));
    BlackBackGroundView black;
    black.resize(10, 10);
    EXPECT_EQ(widgets_test::grabbed(black).pixelColor(5, 5), QColor(Qt::black));
    BackGroundViewFlipped grey;
    grey.resize(10, 10);
    EXPECT_EQ(widgets_test::grabbed(grey).pixelColor(5, 5), QColor(Qt::lightGray));
}

} // namespace
