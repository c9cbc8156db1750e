// The Serial Communication page: chooses the COM port and opens or closes the link. At
// creation it connects by itself to the first of COM2..COM9 that opens.
#pragma once

#include <QString>

#include "host/page_dialog.h"

namespace kelvandor {

class SerialPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 106;
    // Control ids.
    static constexpr int BaudList = 1070;
    static constexpr int PortPicture = 1001;
    static constexpr int FirstPortRadio = 1064;  // COM1; the group runs to COM8 (1073)
    static constexpr int ConnectButton = 1071;
    static constexpr int PortRadios[8] = {1064, 1065, 1066, 1067, 1068, 1069, 1072, 1073};

    SerialPage();

    // Opens (true) or closes (false) the link; returns whether it is open afterwards.
    bool setLinkOpen(bool open);
    void onConnectClicked();

    int portIndex = 1;      // 0..7 for COM1..COM8; COM2 at start
    int baudSelection = 1;  // "19200"

  protected:
    void onInitDialog() override;

  private:
    QString openFailureMessage() const;
};

}  // namespace kelvandor
