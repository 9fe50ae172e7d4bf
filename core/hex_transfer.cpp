// Start and Abort of file transfers and raw dumps.
#include "core/hex_transfer.h"

#include <string>

#include "core/hex.h"
#include "core/hex_dump.h"
#include "core/hex_log.h"
#include "core/hex_send.h"
#include "core/hex_xmodem.h"
#include "core/port_claim.h"
#include "core/resource.h"

using platform::DialogHost;

void hex_file_transfer(DialogHost& hwndDlg) {
  // One at a time: a second transfer would run on a port already in use and lose the open file.
  if (hex_transfer_running()) return;
  const int port = hex_send_port;
  const int protocol = hwndDlg.selected_entry(IDC_PROTOCOL);
  hex_log_close(hwndDlg);
  char path[HEX_FILENAME_SIZE];
  hex_file_dlg("bin", "Select or enter a File to transfer", path, hex_send_file == 0);
  hwndDlg.set_text(IDT_STATUS, path);
  if (protocol < HEX_DUMP || protocol > HEX_XMODEM_1K) return;
  // The port may have gone while the prompt was open; an absent port's number may be the other's.
  if (!hex_obj[port].present) {
    hex_show_port_failure(hwndDlg, port, hex_port_name(port) + " is not open: nothing transferred ");
    return;
  }
  if (protocol == HEX_DUMP)
    hex_dump_start(hwndDlg, port, path);
  else
    hex_xmodem_start(hwndDlg, port, protocol, path);
}

void hex_file_abort(DialogHost& hwndDlg) {
  hex_xmodem_abort(hwndDlg);
  hex_dump_abort(hwndDlg);
}

void hex_transfer_quit(DialogHost& hwndDlg) {
  hex_xmodem_quit(hwndDlg);
  hex_dump_quit(hwndDlg);
}
