#pragma once
// Identifiers of the chainer's resources. Shared by the resource script and the code.

#define IDI_CHAINER 128

#define IDD_WAITING 201
#define IDC_WAITING_STATUS 1001

#define IDD_INSTALL_PROGRESS 216
#define IDC_INSTALL_STATUS 1034
#define IDC_INSTALL_PROGRESS 1035

#define IDS_INSTALLING 153
#define IDS_SETUP_TITLE 161
#define IDS_OPENING_SITE 198
#define IDS_DOWNLOADING 199
#define IDS_REBOOT_PROMPT 216
#define IDS_REBOOT_CAPTION 217
#define IDS_PREPARING 220
#define IDS_SEARCHING 223
