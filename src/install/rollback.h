// Updates as a whole: what an update replaces is recorded and set aside in
// %windir%\bfax\backup first, and put back when the update does not finish.
// The record (restore.lst) lies in that folder, so that a run which could not
// put everything back leaves enough for the next run to do it.
#ifndef SETUP_INSTALL_ROLLBACK_H
#define SETUP_INSTALL_ROLLBACK_H

// Before the installation changes anything. Over an earlier installation
// (its services, product key or files) records the service records, their
// parameters and the product key in the three places it may lie; from then
// on every file replaced is set aside. 1 when the installation may go on
// (also when there is nothing to record); 0 when the record could not be
// made, and nothing was changed.
int BeginRollback();
// path, below the driver directory, is about to be replaced or created: an
// existing file is moved into the backup folder, a missing one noted as new.
// 1 when it may be replaced (always, when no update is being recorded).
int SetAsideFile(const char* path);
// The end of the installation; installed: whether every step went through.
// Installed and recorded as such, the backup folder goes; otherwise the
// earlier installation is put back. 1 when the installation stands.
int EndRollback(int installed);

enum LeftBackup { LEFT_BACKUP_FAILED = 0, LEFT_BACKUP_NONE = 1, LEFT_BACKUP_RESTORED = 2 };
// Whether a run left a backup folder (RestoreLeftBackup then acts on it).
int BackupLeft();
// Start-up: a backup folder that a run left is restored (or, after a
// finished update, removed).
LeftBackup RestoreLeftBackup();

#endif
