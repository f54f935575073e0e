#include "ui/AccessibleLineEdit.h"

#include <QFontMetrics>
#include <QLineEdit>

#include <utility>

namespace {

using Span = std::pair<int, int>;

enum class CharClass { Word, Space, Other };

char32_t codePointAt(const QString &text, int offset)
{
    const QChar high = text.at(offset);
    if (high.isHighSurrogate() && offset + 1 < text.size() && text.at(offset + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(high, text.at(offset + 1));
    return high.unicode();
}

// The offset after the code point at offset, or the offset of the code point
// that holds offset.
int nextCodePoint(const QString &text, int offset)
{
    return offset + (codePointAt(text, offset) > 0xFFFF ? 2 : 1);
}

int codePointStart(const QString &text, int offset)
{
    if (offset > 0 && text.at(offset).isLowSurrogate() && text.at(offset - 1).isHighSurrogate())
        return offset - 1;
    return offset;
}

int previousCodePoint(const QString &text, int offset)
{
    return codePointStart(text, offset - 1);
}

bool isMark(const QString &text, int offset)
{
    const auto category = QChar::category(codePointAt(text, offset));
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

CharClass classAt(const QString &text, int offset)
{
    const char32_t point = codePointAt(text, offset);
    if (QChar::isLetterOrNumber(point) || isMark(text, offset))
        return CharClass::Word;
    return QChar::isSpace(point) ? CharClass::Space : CharClass::Other;
}

// A character as the reader hears it: a code point with the marks that follow.
Span characterAt(const QString &text, int offset)
{
    int start = codePointStart(text, offset);
    while (start > 0 && isMark(text, start))
        start = previousCodePoint(text, start);
    int end = nextCodePoint(text, start);
    while (end < text.size() && isMark(text, end))
        end = nextCodePoint(text, end);
    return {start, end};
}

// A word of a path: a run of letters and digits, a run of spaces, or one
// separator such as a slash or a dot, so that each folder name is a word.
Span wordAt(const QString &text, int offset)
{
    const CharClass kind = classAt(text, codePointStart(text, offset));
    if (kind == CharClass::Other)
        return characterAt(text, offset);
    int start = codePointStart(text, offset);
    while (start > 0 && classAt(text, previousCodePoint(text, start)) == kind)
        start = previousCodePoint(text, start);
    int end = nextCodePoint(text, start);
    while (end < text.size() && classAt(text, end) == kind)
        end = nextCodePoint(text, end);
    return {start, end};
}

// The piece of the given kind that holds offset; a box holds one line, which
// is also its only sentence and paragraph. At the end of the text, the empty
// piece there.
Span pieceAt(const QString &text, int offset, QAccessible::TextBoundaryType boundaryType)
{
    switch (boundaryType) {
    case QAccessible::CharBoundary:
        return offset < text.size() ? characterAt(text, offset) : Span{offset, offset};
    case QAccessible::WordBoundary:
        return offset < text.size() ? wordAt(text, offset) : Span{offset, offset};
    case QAccessible::SentenceBoundary:
    case QAccessible::ParagraphBoundary:
    case QAccessible::LineBoundary:
    case QAccessible::NoBoundary:
        break;
    }
    return {0, int(text.size())};
}

QAccessibleInterface *accessibleLineEdit(const QString &className, QObject *object)
{
    if (className != QLatin1String("QLineEdit") || !object || !object->isWidgetType())
        return nullptr;
    return new AccessibleLineEdit(static_cast<QWidget *>(object));
}

} // namespace

AccessibleLineEdit::AccessibleLineEdit(QWidget *box)
    : QAccessibleWidget(box, QAccessible::EditableText)
{
}

void AccessibleLineEdit::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleLineEdit);
        return true;
    }();
    Q_UNUSED(installed);
}

QLineEdit *AccessibleLineEdit::lineEdit() const
{
    return static_cast<QLineEdit *>(widget());
}

void *AccessibleLineEdit::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString AccessibleLineEdit::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return lineEdit()->text();
    return QAccessibleWidget::text(kind);
}

void AccessibleLineEdit::setText(QAccessible::Text kind, const QString &text)
{
    if (kind == QAccessible::Value && !lineEdit()->isReadOnly())
        lineEdit()->setText(text);
    else
        QAccessibleWidget::setText(kind, text);
}

QAccessible::State AccessibleLineEdit::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !lineEdit()->isReadOnly();
    state.readOnly = lineEdit()->isReadOnly();
    state.selectableText = true;
    return state;
}

void AccessibleLineEdit::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !lineEdit()->hasSelectedText())
        return;
    *startOffset = lineEdit()->selectionStart();
    *endOffset = lineEdit()->selectionEnd();
}

int AccessibleLineEdit::selectionCount() const
{
    return lineEdit()->hasSelectedText() ? 1 : 0;
}

void AccessibleLineEdit::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void AccessibleLineEdit::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        lineEdit()->deselect();
}

void AccessibleLineEdit::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        lineEdit()->setSelection(startOffset, endOffset - startOffset);
}

int AccessibleLineEdit::cursorPosition() const
{
    return lineEdit()->cursorPosition();
}

void AccessibleLineEdit::setCursorPosition(int position)
{
    lineEdit()->setCursorPosition(position);
}

QString AccessibleLineEdit::text(int startOffset, int endOffset) const
{
    if (startOffset < 0 || endOffset < startOffset)
        return QString();
    return lineEdit()->text().mid(startOffset, endOffset - startOffset);
}

QString AccessibleLineEdit::piece(int start, int end, int *startOffset, int *endOffset) const
{
    *startOffset = start;
    *endOffset = end;
    return text(start, end);
}

QString AccessibleLineEdit::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int *startOffset, int *endOffset) const
{
    const QString whole = lineEdit()->text();
    if (offset < 0 || offset > whole.size())
        return piece(-1, -1, startOffset, endOffset);
    const Span at = pieceAt(whole, offset, boundaryType);
    return piece(at.first, at.second, startOffset, endOffset);
}

QString AccessibleLineEdit::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int *startOffset, int *endOffset) const
{
    const QString whole = lineEdit()->text();
    if (offset < 0 || offset > whole.size())
        return piece(-1, -1, startOffset, endOffset);
    const int start = pieceAt(whole, offset, boundaryType).first;
    if (start == 0)
        return piece(0, 0, startOffset, endOffset);
    const Span before = pieceAt(whole, start - 1, boundaryType);
    return piece(before.first, before.second, startOffset, endOffset);
}

QString AccessibleLineEdit::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int *startOffset, int *endOffset) const
{
    const QString whole = lineEdit()->text();
    if (offset < 0 || offset > whole.size())
        return piece(-1, -1, startOffset, endOffset);
    const int end = pieceAt(whole, offset, boundaryType).second;
    if (end >= whole.size())
        return piece(int(whole.size()), int(whole.size()), startOffset, endOffset);
    const Span after = pieceAt(whole, end, boundaryType);
    return piece(after.first, after.second, startOffset, endOffset);
}

int AccessibleLineEdit::characterCount() const
{
    return int(lineEdit()->text().size());
}

// Measured from where the text starts, as the box shows it when not scrolled.
QRect AccessibleLineEdit::characterRect(int offset) const
{
    const QString whole = lineEdit()->text();
    if (offset < 0 || offset >= whole.size())
        return QRect();
    const QFontMetrics metrics(lineEdit()->font());
    const Span character = characterAt(whole, offset);
    const QRect content = lineEdit()->contentsRect();
    const int left = content.left() + lineEdit()->textMargins().left() + 2 +
                     metrics.horizontalAdvance(whole.left(character.first));
    const int width =
        metrics.horizontalAdvance(whole.mid(character.first, character.second - character.first));
    const QRect local(left, content.center().y() - metrics.height() / 2, width, metrics.height());
    return QRect(lineEdit()->mapToGlobal(local.topLeft()), local.size());
}

int AccessibleLineEdit::offsetAtPoint(const QPoint &point) const
{
    return lineEdit()->cursorPositionAt(lineEdit()->mapFromGlobal(point));
}

void AccessibleLineEdit::scrollToSubstring(int startIndex, int endIndex)
{
    lineEdit()->setCursorPosition(endIndex);
    lineEdit()->setCursorPosition(startIndex);
}

QString AccessibleLineEdit::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = offset;
    return QString();
}

void AccessibleLineEdit::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void AccessibleLineEdit::insertText(int offset, const QString &text)
{
    replaceText(offset, offset, text);
}

void AccessibleLineEdit::replaceText(int startOffset, int endOffset, const QString &text)
{
    if (lineEdit()->isReadOnly())
        return;
    const QString whole = lineEdit()->text();
    if (startOffset < 0 || endOffset < startOffset || endOffset > whole.size())
        return;
    lineEdit()->setText(whole.left(startOffset) + text + whole.mid(endOffset));
}
