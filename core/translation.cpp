#include "core/translation.h"

#include "core/logging.h"

#include <QCoreApplication>

namespace {
const QString kProgramCatalogue = QStringLiteral(":/zh.qm");
const QString kToolkitCatalogue = QStringLiteral(":/qt_zh_CN.qm");

std::unique_ptr<QTranslator> installCatalogue(const QString &path)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(path)) {
        qCWarning(lcCore) << "cannot load translation" << path;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator.get());
    return translator;
}
}

ChineseTranslatorScope::ChineseTranslatorScope(const QString &lang)
{
    if (!isChineseLang(lang))
        return;
    m_program = installCatalogue(kProgramCatalogue);
    m_toolkit = installCatalogue(kToolkitCatalogue);
}

ChineseTranslatorScope::~ChineseTranslatorScope()
{
    if (m_toolkit)
        QCoreApplication::removeTranslator(m_toolkit.get());
    if (m_program)
        QCoreApplication::removeTranslator(m_program.get());
}

ThreadTranslator::ThreadTranslator(const QString &lang)
{
    if (isChineseLang(lang))
        m_loaded = m_program.load(kProgramCatalogue);
}

QString ThreadTranslator::translate(const char *context, const char *source) const
{
    if (m_loaded) {
        const QString t = m_program.translate(context, source);
        if (!t.isEmpty())
            return t;
    }
    return QString::fromUtf8(source);
}
