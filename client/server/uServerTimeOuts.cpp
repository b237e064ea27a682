#include "client/server/uServerTimeOuts.h"

#include "client/server/uServer.h"
#include "platform/Dialogs.h"

using namespace kv;

TServerTimeOuts ServerTimeOuts(TServerSession &Server) {
  TServerTimeOuts T;
  T.LogonActive = [&Server] { return Server.LogonActive; };
  T.LogonStartTime = [&Server] { return Server.SockValidate.StartTime; };
  T.ShortagesUnderWay = [&Server] { return Server.ShortagesBusy; };
  T.CheckWaiting = [&Server] { return Server.Waiting; };
  T.EndOverdueLogon = [&Server](TDateTime Now) {
    Server.LogonTimedOut = false;
    if (!Server.SockValidate.Overdue(Now))
      return false;
    Server.SockValidate.Close();
    Server.SockValidate.DataReceived = false;
    Server.SockValidate.StartTime = 0;
    return true;
  };
  T.LogonLost = [&Server] {
    Server.LogonTimedOut = true;
    Server.LogonActive = false;
    MessageBox(LogonLostText, ApplicationTitle(), MB_OK | MB_ICONWARNING);
  };
  T.EndOverdueCheck = [&Server](TDateTime Now) {
    Server.CheckTimedOut = false;
    if (!Server.SockCheckConnect.Overdue(Now))
      return false;
    Server.EndCheck(true);
    return true;
  };
  return T;
}
