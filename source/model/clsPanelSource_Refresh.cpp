// Recalculating a "refresh" source's workbook. The workbook writer that saves a recalculated
// copy has not landed yet, so for now such a source reports that it can't be refreshed and
// the pass goes on with the file already in its folder.

#include "model/clsPanelSource.h"

#include "services/modUtilsLog.h"

QString clsPanelSource::chkRefresh(QDateTime& /*Dt*/) {
    LogError(QStringLiteral("clsPanelSource"), QStringLiteral("chkRefresh"), ErrNum::kGeneral,
             QStringLiteral("Recalculating a workbook is not available in this build."), true);
    return QString();
}
