#include "chrome/SkinFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace tamsel {

namespace {

// A section must be a well-formed sequence of rules: braces balanced and never
// closing more than they opened, strings and comments closed.
bool CheckStyleSheet(const QString& css, QString* why) {
    int depth = 0;
    QChar quote;
    bool inComment = false;
    for (qsizetype i = 0; i < css.size(); ++i) {
        const QChar c = css[i];
        const QChar next = i + 1 < css.size() ? css[i + 1] : QChar();
        if (inComment) {
            if (c == u'*' && next == u'/') {
                inComment = false;
                ++i;
            }
            continue;
        }
        if (!quote.isNull()) {
            if (c == u'\\') {
                ++i;
            } else if (c == quote) {
                quote = QChar();
            }
            continue;
        }
        if (c == u'/' && next == u'*') {
            inComment = true;
            ++i;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'{') {
            ++depth;
        } else if (c == u'}') {
            if (--depth < 0) {
                *why = QStringLiteral("unexpected '}'");
                return false;
            }
        }
    }
    if (inComment) {
        *why = QStringLiteral("unterminated comment");
    } else if (!quote.isNull()) {
        *why = QStringLiteral("unterminated string");
    } else if (depth != 0) {
        *why = QStringLiteral("missing '}'");
    } else {
        return true;
    }
    return false;
}

}  // namespace

bool ParseSkinText(const QString& text, SkinFile& out, QString* error) {
    static const QRegularExpression header(QStringLiteral(R"(^\s*\[([^\[\]]*)\]\s*$)"));
    out.sections.clear();
    SkinFile parsed;
    QString current;
    QStringList body;
    int sectionLine = 0;
    QString why;

    auto fail = [&](int line, const QString& message) {
        if (error) {
            *error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(message) : message;
        }
        return false;
    };
    auto closeSection = [&]() {
        if (current.isNull()) {
            return true;
        }
        const QString css = body.join(u'\n');
        if (!CheckStyleSheet(css, &why)) {
            return false;
        }
        parsed.sections.insert(current, css);
        return true;
    };

    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        if (line.trimmed().startsWith(u';')) {
            continue;
        }
        const QRegularExpressionMatch m = header.match(line);
        if (m.hasMatch()) {
            if (!closeSection()) {
                return fail(sectionLine, QStringLiteral("section [%1]: %2").arg(current, why));
            }
            current = m.captured(1).trimmed();
            if (current.isEmpty()) {
                return fail(i + 1, QStringLiteral("section without a name"));
            }
            if (parsed.sections.contains(current)) {
                return fail(i + 1, QStringLiteral("section [%1] appears twice").arg(current));
            }
            sectionLine = i + 1;
            body.clear();
            continue;
        }
        if (current.isNull()) {
            if (!line.trimmed().isEmpty()) {
                return fail(i + 1, QStringLiteral("text before the first section"));
            }
            continue;
        }
        body.append(line);
    }
    if (!closeSection()) {
        return fail(sectionLine, QStringLiteral("section [%1]: %2").arg(current, why));
    }
    if (parsed.sections.isEmpty()) {
        return fail(0, QStringLiteral("no sections"));
    }
    out = std::move(parsed);
    return true;
}

bool ReadSkinFile(const QString& path, SkinFile& out, QString* error) {
    out.sections.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    QString text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("${SKIN_DIR}"), QFileInfo(path).absolutePath());
    return ParseSkinText(text, out, error);
}

}  // namespace tamsel
