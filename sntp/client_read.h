// The client socket's read event (the door's OnClientRead): receive the
// server's reply, judge it, log the judgement, obey its kiss, and hand its
// measurement to the clock's verdict (sntp/client_verdict.h).
#pragma once

// For each tick, and before each datagram: once a second with datagrams
// that answered no request counted (beyond the couple told in full) is
// over, the line that sums them up, "要求に対応しない受信 N件 (ログ省略)".
void SumUpStrayDatagrams();
