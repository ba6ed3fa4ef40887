#!/usr/bin/env bash
# status.sh JOBID: the state of a SLURM job as Snakemake's --cluster-status
# wants it (running, success or failed), so that a job that SLURM ends for
# its time or memory limit counts as failed instead of being waited for.
set -u
id=$1
state=$(sacct -j "$id" -X --noheader --parsable2 --format=State 2>/dev/null | head -n 1)
if [ -z "$state" ]; then
  # Without accounting (or before it has the job): ask the queue.
  state=$(squeue -h -j "$id" -o %T 2>/dev/null | head -n 1)
  [ -z "$state" ] && state=UNKNOWN
fi
case ${state%% *} in
  COMPLETED) echo success ;;
  PENDING | CONFIGURING | RUNNING | COMPLETING | SUSPENDED | REQUEUED | REQUEUE_HOLD | REQUEUE_FED | RESIZING | SIGNALING | STAGE_OUT | UNKNOWN)
    echo running ;;
  *) echo failed ;;
esac
