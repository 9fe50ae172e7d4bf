// The transfer state machine: starting a send or a receive, and stepping it. How the states follow
// each other is told at the top of serxydrv.h.
#pragma once

// Start a transfer: 1, or XY_NOT_ACTIVE_ERROR for a port not acquired.
int xyStartTx(int Port, const char* FileName, int OneKflag, int BatchFlag);
int xyStartRx(int Port, const char* FileName, char NCGchar, int BatchFlag);
// Up to nine steps: 1 while the transfer runs, 0 when it has ended or none runs; XY_NOT_ACTIVE_ERROR.
int xyDriver(int Port);
