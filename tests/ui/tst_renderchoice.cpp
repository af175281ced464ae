// Which OpenGL renderers count as software rasterizers, for the choice of the view's
// renderer.
#include "ui/renderchoice.h"

#include <QtTest>

class TestRenderChoice : public QObject
{
    Q_OBJECT
private slots:
    void softwareRenderer_data()
    {
        QTest::addColumn<QByteArray>("renderer");
        QTest::addColumn<bool>("software");
        QTest::newRow("Mesa llvmpipe") << QByteArray("llvmpipe (LLVM 15.0.6, 256 bits)") << true;
        QTest::newRow("Mesa softpipe") << QByteArray("softpipe") << true;
        QTest::newRow("Mesa classic") << QByteArray("Software Rasterizer") << true;
        QTest::newRow("Windows without a driver") << QByteArray("GDI Generic / Microsoft Basic Render Driver") << true;
        QTest::newRow("Intel") << QByteArray("Mesa Intel(R) UHD Graphics 620 (KBL GT2)") << false;
        QTest::newRow("AMD") << QByteArray("AMD Radeon RX 580 Series (radeonsi, polaris10, LLVM 15.0.6)") << false;
        QTest::newRow("NVIDIA") << QByteArray("NVIDIA GeForce GTX 1060/PCIe/SSE2") << false;
    }
    void softwareRenderer()
    {
        QFETCH(QByteArray, renderer);
        QFETCH(bool, software);
        QCOMPARE(isSoftwareGlRenderer(renderer), software);
    }
};

QTEST_APPLESS_MAIN(TestRenderChoice)
#include "tst_renderchoice.moc"
