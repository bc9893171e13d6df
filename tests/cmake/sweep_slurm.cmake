# The Slurm sweep test starts a one-node cluster and waits for sbatch three
# times: about half a minute, so it runs with the slow tests.
if(TEST e2e.sweep_slurm)
  set_tests_properties(e2e.sweep_slurm PROPERTIES LABELS "e2e;slow" TIMEOUT 600)
endif()
