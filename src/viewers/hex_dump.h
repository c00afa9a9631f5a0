#pragma once
// THexDump: a scrolling hex view of a block of bytes it does not copy. Each row shows the
// address of its first byte, the bytes in hex and (optionally) as characters; the number of
// bytes a row holds follows the width (1 to 16). A current row moves with the keys and the
// mouse and the view follows it.
#include <QAbstractScrollArea>
#include <QColor>

#include <cstdint>
#include <span>

namespace kv {

class THexDump : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit THexDump(QWidget* parent = nullptr);

    // The bytes to show and the address the first of them is shown with (the resource's
    // place in its file: a memory address would mean nothing to the reader).
    void setData(std::span<const std::uint8_t> data, std::uint64_t baseAddress = 0);
    std::span<const std::uint8_t> data() const { return data_; }

    bool showAddress() const { return showAddress_; }
    void setShowAddress(bool on);
    bool showCharacters() const { return showCharacters_; }
    void setShowCharacters(bool on);
    void setAddressColor(const QColor& c);
    void setHexDataColor(const QColor& c);
    void setAnsiCharColor(const QColor& c);

    // The layout, for tests and for the scroll range.
    int bytesPerRow() const { return bytesPerRow_; }
    int rowCount() const { return rowCount_; }
    int visibleRows() const { return visibleRows_; }
    int rowHeight() const { return rowHeight_; }
    int topRow() const { return topRow_; }
    int currentRow() const { return currentRow_; }
    void setTopRow(int row);
    void setCurrentRow(int row);
    // The text of one row as it is painted: "0000F000: 4D 5A ...  MZ..".
    QString rowText(int row) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent*) override;

private:
    void relayout();

    std::span<const std::uint8_t> data_;
    std::uint64_t base_ = 0;
    bool showAddress_ = true, showCharacters_ = true;
    QColor addressColor_ = Qt::black, hexColor_ = Qt::black, charColor_ = Qt::black;
    int rowHeight_ = 1, cellWidth_ = 1, visibleRows_ = 1, bytesPerRow_ = 1, rowCount_ = 0;
    int topRow_ = 0, currentRow_ = 0;
};

}  // namespace kv
