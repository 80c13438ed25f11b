#include "mainwindow/PictureBox.h"

#include "mainwindow/Theme.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(const SkinPictures& pictures, QWidget* parent)
    : QWidget(parent)
    , m_pictures(pictures)
{
    // Not opaque: a disabled box is drawn translucent, and without the window's background painted under it
    // each repaint would blend over the last one until the box looked enabled again.
}

void PictureBox::setPicture(Pic pic)
{
    if (pic == m_picture)
        return;
    m_picture = pic;
    update();
}

void PictureBox::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF area(rect());
    if (!m_caption.isEmpty()) {
        Theme::paintStatus(p, area, m_picture, m_caption);
        return;
    }
    if (m_pictures.has(m_picture)) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        if (!isEnabled())
            p.setOpacity(0.45);
        p.drawPixmap(area, m_pictures[m_picture], QRectF(m_pictures[m_picture].rect()));
        return;
    }
    Theme::paintFallback(p, area, m_picture, isEnabled());
}

SkinButton::SkinButton(const SkinPictures& pictures, Pic normal, Pic down, QWidget* parent)
    : PictureBox(pictures, parent)
    , m_normal(normal)
    , m_down(down)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setPicture(m_normal);
}

void SkinButton::setPair(Pic normal, Pic down)
{
    m_normal = normal;
    m_down = down;
    setPicture(m_held ? m_down : m_normal);
}

void SkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_held = true;
    setPicture(m_down);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_held) {
        event->ignore();
        return;
    }
    m_held = false;
    setPicture(m_normal);
    if (rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void SkinButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_held = false;
        setPicture(m_normal);
        update();
    }
    PictureBox::changeEvent(event);
}

void SkinButton::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) {
        PictureBox::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat()) {
        m_held = true;
        setPicture(m_down);
    }
}

void SkinButton::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) || event->isAutoRepeat() || !m_held) {
        PictureBox::keyReleaseEvent(event);
        return;
    }
    m_held = false;
    setPicture(m_normal);
    Q_EMIT clicked();
}

void SkinButton::paintEvent(QPaintEvent* event)
{
    PictureBox::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::Focus, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
}

void SkinButton::focusInEvent(QFocusEvent* event)
{
    PictureBox::focusInEvent(event);
    update();
}

void SkinButton::focusOutEvent(QFocusEvent* event)
{
    m_held = false;
    setPicture(m_normal);
    PictureBox::focusOutEvent(event);
    update();
}
