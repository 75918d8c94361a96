#pragma once
// The layer tree the display is built of. A layer has bounds in its own coordinates (y grows
// upwards), sits in its superlayer with its anchor point at `position`, turned and scaled
// by `transform` about that point, and shows a bitmap as contents, drawn by itself or set
// from outside. The host widget sets a repaint handler on the root and paints the tree;
// layers that asked for display are displayed together on the main queue, once per pass,
// while their tree has a host. Layers are main-thread objects made with std::make_shared.
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <functional>
#include <memory>
#include <vector>

class QPainter;
class Layer;

// Draws a layer's contents for it (the layer's own coordinates, y upwards).
class LayerDelegate {
  public:
    virtual ~LayerDelegate() = default;
    virtual void drawLayer(Layer& layer, QPainter& context) = 0;
};

enum class LayerFilter { Nearest, Linear, Trilinear };

class Layer : public std::enable_shared_from_this<Layer> {
  public:
    Layer() = default;
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    const QRectF& bounds() const { return bounds_; }
    virtual void setBounds(const QRectF& bounds);
    QPointF position() const { return position_; }
    void setPosition(QPointF position);
    // In units of the bounds' size: (0, 0) the lower-left corner, (0.5, 0.5) the centre.
    QPointF anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(QPointF anchor);
    const QTransform& transform() const { return transform_; }
    void setTransform(const QTransform& transform);
    // The bounds as they lie in the superlayer.
    QRectF frame() const;
    // Places an untransformed layer: position and bounds size from the rectangle.
    void setFrame(const QRectF& frame);

    // Maps this layer's coordinates into its superlayer's.
    QTransform toSuperlayer() const;
    // Maps this layer's coordinates into those of the root of its tree.
    QTransform toRoot() const;
    // Between this layer and another of the same tree (null: the root's coordinates).
    QPointF convertPointFrom(QPointF point, const Layer* from) const;
    QPointF convertPointTo(QPointF point, const Layer* to) const;
    QRectF convertRectFrom(const QRectF& rect, const Layer* from) const;
    QRectF convertRectTo(const QRectF& rect, const Layer* to) const;
    // The part of the bounds not cut away by an ancestor that masks to its bounds (the
    // root always does); null when nothing of it is visible.
    QRectF visibleRect() const;

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks);
    const QColor& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    // Device pixels per unit of the bounds in a bitmap the layer draws itself.
    double contentsScale() const { return contentsScale_; }
    virtual void setContentsScale(double scale);
    // Drawn stretched over the bounds, its first row at the top edge.
    const QImage& contents() const { return contents_; }
    bool hasContents() const { return !contents_.isNull(); }
    virtual void setContents(QImage contents);
    LayerFilter magnificationFilter() const { return magnificationFilter_; }
    void setMagnificationFilter(LayerFilter filter);
    LayerFilter minificationFilter() const { return minificationFilter_; }
    void setMinificationFilter(LayerFilter filter);

    LayerDelegate* delegate() const { return delegate_; }
    void setDelegate(LayerDelegate* delegate) { delegate_ = delegate; }

    Layer* superlayer() const { return superlayer_; }
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayerAbove(std::shared_ptr<Layer> layer, const Layer* sibling);
    void removeFromSuperlayer();
    void removeAllSublayers();
    Layer& rootLayer();
    const Layer& rootLayer() const;

    // Asks for display() in the next display pass.
    virtual void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    // Draws a new bitmap of the bounds at the contents scale through drawInContext().
    virtual void display();
    // The default hands the drawing to the delegate.
    virtual void drawInContext(QPainter& context);
    // Displays this layer and its visible sublayers where asked for.
    void displayIfNeeded();

    // The host's wish to be told when the tree looks different; set on the root.
    void setRepaintHandler(std::function<void()> handler);
    // Paints the layer and its sublayers; the painter maps the superlayer's coordinates.
    void render(QPainter& painter) const;

  protected:
    // Tells the host, if the tree has one, that it needs painting.
    void changed();

  private:
    void scheduleDisplayPass();
    void drawContents(QPainter& painter) const;

    QRectF bounds_;
    QPointF position_;
    QPointF anchorPoint_{0.5, 0.5};
    QTransform transform_;
    bool hidden_ = false;
    bool opaque_ = false;
    bool masksToBounds_ = false;
    QColor backgroundColor_{Qt::transparent};
    double contentsScale_ = 1.0;
    QImage contents_;
    LayerFilter magnificationFilter_ = LayerFilter::Linear;
    LayerFilter minificationFilter_ = LayerFilter::Linear;
    LayerDelegate* delegate_ = nullptr;
    Layer* superlayer_ = nullptr;
    std::vector<std::shared_ptr<Layer>> sublayers_;
    bool needsDisplay_ = false;
    bool passScheduled_ = false;
    std::function<void()> repaint_;
};
