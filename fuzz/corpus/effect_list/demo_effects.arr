; effect files: file, pool, the names the game asks for
preload.rfx preload hit-glow
sparks.vfx spell spark-burst
fire.vfx level fire-loop
beam.vfx summon beam-streak
blood.vfx character blood-spray
scene.vfx cutscene scene-glow
