#include "qmlobject.h"

#include "paths.h"

qmlobject::qmlobject()
{
    assignGenTableNames();
}

qmlobject::~qmlobject() = default;

void qmlobject::handleMainGenInfo()
{
}

void qmlobject::handleMainModuleData(QString)
{
}

void qmlobject::handleGetACInfo()
{
}

void qmlobject::handleGetBatInfo()
{
}

void qmlobject::handleGetBypassInfo()
{
}

void qmlobject::handleGetOtherInfo()
{
}

void qmlobject::handleGetOutputInfo()
{
}

void qmlobject::handleGetPVInfo()
{
}

void qmlobject::handleSetComConfig(QString)
{
}

void qmlobject::handleSetPublicPara(QString)
{
}

void qmlobject::handleSetEmail(QString)
{
}

void qmlobject::handleSetSMS(QString)
{
}

void qmlobject::handleGetEmailSet()
{
}

void qmlobject::handleGetSMSSet()
{
}

void qmlobject::handleWarningData()
{
}

void qmlobject::handleClearWarning()
{
}

void qmlobject::handleGetFlowState()
{
}

void qmlobject::handleGetLanguage()
{
}

void qmlobject::handleGetSystemSet()
{
}

void qmlobject::handleSendSMSTest(QString)
{
}

void qmlobject::handleGetSMSState()
{
}

void qmlobject::handleGetScheduleTime()
{
}

void qmlobject::handleGetProtocol()
{
}

void qmlobject::handleGetdeviceInfo()
{
}
