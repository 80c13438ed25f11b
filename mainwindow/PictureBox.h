#pragma once

#include "mainwindow/SkinPictures.h"

#include <QWidget>

// A picture box: shows one skin picture, looked up by name at paint time, or its drawn stand-in while the
// picture's file is missing.
class PictureBox : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureBox)

public:
    PictureBox(const SkinPictures& pictures, QWidget* parent = nullptr);

    void setPicture(Pic pic);
    Pic picture() const { return m_picture; }
    // The status pill's text in place of its picture's own ("Starting…", "6 INTRUDERS ONLINE"): the pill is
    // then drawn, not taken from its file. Empty: the picture as it is.
    void setCaption(const QString& caption);
    QString caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent* event) override;
    const SkinPictures& m_pictures;

private:
    Pic m_picture = Pic::Count;
    QString m_caption;
};

// A picture box that acts as a button: its "Down" picture while the mouse button is held on it, its
// "Normal" picture otherwise; the click is reported after the release, inside the box.
class SkinButton final : public PictureBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SkinButton)

public:
    SkinButton(const SkinPictures& pictures, Pic normal, Pic down, QWidget* parent = nullptr);

    // The picture pair (a tab button switches between its selected and unselected pairs); the pressed state
    // is kept, so a pair changed while the button is held shows the new pair's Down picture.
    void setPair(Pic normal, Pic down);
    Pic normalPicture() const { return m_normal; }
    Pic downPicture() const { return m_down; }
    bool isDown() const { return m_held; }

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Space and Enter press the focused button; a focus ring shows where the keyboard is.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Pic m_normal;
    Pic m_down;
    bool m_held = false;
};
