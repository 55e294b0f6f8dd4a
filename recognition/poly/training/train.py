#!/usr/bin/python3
"""Trains the polyphonic network on generated clips and exports it for the C++ code.

    train.py --work DIR --features-tool TOOL [--clips N] [--valid-clips N]
             [--steps N] [--resume] [--smoke] [--export DIR] ...

Steps, each skipped when its result is already in DIR:
  1. generate the training and validation splits with generate.py (training
     sources only; the manifest is checked against allowed_sources.txt);
  2. compute the features of every clip with the C++ tool (cached as fp16);
  3. train with fixed seeds, logging loss and validation note F per
     evaluation to DIR/train.log, checkpointing every 10 minutes (--resume
     continues from the last checkpoint), stopping early when validation F
     stops improving;
  4. tune the note decoder on the validation split;
  5. export weights, fixture and manifest summary (export.py).

Validation is a split of the training sources; the held-out SoundFont is
never used here.
"""

import argparse
import copy
import math
import os
import sys
import time
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import numpy as np  # noqa: E402
import torch  # noqa: E402
import torch.nn.functional as F  # noqa: E402

import dataset  # noqa: E402
import decode  # noqa: E402
import model  # noqa: E402
import manifest  # noqa: E402

CHECKPOINT_SECONDS = 600
EVAL_ONSETS = (0.15, 0.3, 0.45)


class Log:
    def __init__(self, path):
        self.file = open(path, "a")

    def __call__(self, text):
        line = f"{time.strftime('%H:%M:%S')} {text}"
        print(line, flush=True)
        self.file.write(line + "\n")
        self.file.flush()


def set_seeds(seed):
    torch.manual_seed(seed)
    np.random.seed(seed)


def probabilities(net, features, chunk=2048):
    """(onset, sounding, offset, velocity) probabilities, T x 88 each, of a whole clip."""
    net.eval()
    with torch.no_grad():
        x = torch.from_numpy(np.asarray(features, np.float32))[None]
        out = torch.sigmoid(net(x))[0].numpy()
    return out


def score(reference, estimate):
    """(onset F, onset-and-offset F) with mir_eval: 50 ms, 50 cents, offsets 20 % / 50 ms."""
    import mir_eval
    if not reference or not estimate:
        return 0.0, 0.0
    ri = np.array([[a, b] for a, b, _, _ in reference])
    rp = np.array([440.0 * 2 ** ((n - 69) / 12) for _, _, n, _ in reference])
    ei = np.array([[a, b] for a, b, _, _ in estimate])
    ep = np.array([440.0 * 2 ** ((n - 69) / 12) for _, _, n, _ in estimate])
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        f1 = mir_eval.transcription.precision_recall_f1_overlap(
            ri, rp, ei, ep, onset_tolerance=0.05, pitch_tolerance=50.0, offset_ratio=None)[2]
        f2 = mir_eval.transcription.precision_recall_f1_overlap(
            ri, rp, ei, ep, onset_tolerance=0.05, pitch_tolerance=50.0, offset_ratio=0.2,
            offset_min_tolerance=0.05)[2]
    return f1, f2


def evaluate(probs, split, settings):
    """Mean F over clips: dict with onset/both for all, single lines and several voices."""
    rows = []
    for p, notes, single in zip(probs, split.notes, split.single):
        est = decode.decode(p[0], p[1], p[3], settings, p[2])
        f1, f2 = score(notes, est)
        rows.append((single, f1, f2))
    out = {}
    for key, keep in (("all", lambda r: True), ("single", lambda r: r[0]), ("poly", lambda r: not r[0])):
        chosen = [r for r in rows if keep(r)]
        out[key] = (float(np.mean([r[1] for r in chosen])) if chosen else 0.0,
                    float(np.mean([r[2] for r in chosen])) if chosen else 0.0, len(chosen))
    return out


def objective(result):
    """What tuning and early stopping maximise: onset F, with offsets counting half."""
    return result["all"][0] + 0.5 * result["all"][1]


def losses(logits, y, event_weight=5.0):
    """Weighted sum of the four outputs' losses, and the parts.

    Onsets and offsets light about one cell in a thousand: their positive
    cells weigh `event_weight` times the others so that the outputs become
    confident within the few thousand steps the run has (the decoder's
    thresholds are tuned afterwards, which takes care of calibration).
    """
    onset_w = 1.0 + (event_weight - 1.0) * y[:, 0]
    l_on = (F.binary_cross_entropy_with_logits(logits[:, 0], y[:, 0], reduction="none") * onset_w).mean()
    l_so = F.binary_cross_entropy_with_logits(logits[:, 1], y[:, 1])
    offset_w = 1.0 + (event_weight - 1.0) * y[:, 2]
    l_off = (F.binary_cross_entropy_with_logits(logits[:, 2], y[:, 2], reduction="none") * offset_w).mean()
    mask = (y[:, 3] > 0).float()
    l_vel = ((torch.sigmoid(logits[:, 3]) - y[:, 3]) ** 2 * mask).sum() / mask.sum().clamp(min=1.0)
    return l_on + l_so + 0.5 * l_off + 0.5 * l_vel, (l_on.item(), l_so.item(), l_off.item(), l_vel.item())


def tune(probs, split, log, smoke=False):
    """The decoder settings with the best objective on the validation split.

    A search one setting at a time (thresholds together), twice over, from
    the defaults: a full grid would take an hour of scoring.
    """
    grid = {
        ("onset", "sounding"): [(o, f) for o in (0.06, 0.1, 0.15, 0.25, 0.35, 0.5) for f in (0.3, 0.4, 0.5, 0.6, 0.7)],
        ("gap",): [(g,) for g in (0, 1, 2, 3, 5)],
        ("peak_radius",): [(r,) for r in (1, 2, 3, 4)],
        ("held", "held_frames"): [(0.9, 0)] + [(h, n) for h in (0.6, 0.75, 0.9) for n in (8, 15, 30)],
        ("reonset",): [(r,) for r in (0.0, 0.3, 0.45, 0.6, 0.75)],
        ("offset",): [(r,) for r in (0.0, 0.25, 0.3, 0.35, 0.4, 0.5)],
    }
    if smoke:
        grid = {("onset", "sounding"): [(0.15, 0.5), (0.35, 0.5)]}
    # The shortest note stays that of the converter's and the window's
    # default (60 ms, five frames), so that the figures are those users get.
    best = decode.Settings(min_frames=5)
    best_result = evaluate(probs, split, best)
    for _ in range(1 if smoke else 2):
        for names, values in grid.items():
            for v in values:
                trial = decode.Settings(**best.as_dict())
                for name, value in zip(names, v):
                    setattr(trial, name, value)
                r = evaluate(probs, split, trial)
                if objective(r) > objective(best_result):
                    best, best_result = trial, r
    r = best_result
    log(f"tune: {best.as_dict()} -> onset F {r['all'][0]:.3f}, with offsets {r['all'][1]:.3f} "
        f"(single {r['single'][0]:.3f}/{r['single'][1]:.3f}, several voices {r['poly'][0]:.3f}/{r['poly'][1]:.3f})")
    return best, r


def save_checkpoint(path, state):
    torch.save(state, path + ".part")
    os.replace(path + ".part", path)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--work", required=True, help="folder for data, features, checkpoints and the log")
    p.add_argument("--features-tool", required=True, help="the built selvik_poly_features")
    # The defaults are the run of the compiled-in network (TrainingSummary.json).
    p.add_argument("--clips", type=int, default=4000, help="training clips to generate")
    p.add_argument("--valid-clips", type=int, default=200)
    p.add_argument("--data-seed", type=int, default=1)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--arch", default="semi8", choices=sorted(model.ARCHITECTURES))
    p.add_argument("--steps", type=int, default=3000)
    p.add_argument("--batch", type=int, default=16)
    p.add_argument("--length", type=int, default=256, help="frames per training crop")
    p.add_argument("--lr", type=float, default=2e-3)
    p.add_argument("--eval-every", type=int, default=250)
    p.add_argument("--event-weight", type=float, default=20.0, help="weight of onset and offset cells in the loss")
    p.add_argument("--patience", type=int, default=6, help="evaluations without improvement before stopping")
    p.add_argument("--resume", action="store_true")
    p.add_argument("--export", default=None, help="folder for weights, fixture and summary")
    p.add_argument("--no-tune", action="store_true")
    p.add_argument("--smoke", action="store_true", help="a quick check of the whole pipeline (small tuning grid)")
    p.add_argument("--allow-list", default=manifest.ALLOW_LIST, help=argparse.SUPPRESS)
    args = p.parse_args(argv)

    torch.set_num_threads(max(1, args.jobs))
    os.makedirs(args.work, exist_ok=True)
    log = Log(os.path.join(args.work, "train.log"))
    log(f"train: {' '.join(sys.argv[1:] if argv is None else argv)}")
    run_started = time.time()
    data = os.path.join(args.work, "data")

    import generate
    splits = {"train": (args.clips, args.data_seed), "valid": (args.valid_clips, args.data_seed + 1000)}
    for name, (clips, seed) in splits.items():
        folder = os.path.join(data, name)
        if not os.path.exists(os.path.join(folder, "manifest.jsonl")):
            started = time.time()
            generate.generate_split(data, name, clips, seed, jobs=args.jobs)
            log(f"generate: {name} {clips} clips in {time.time() - started:.0f} s")
        # Refuses the run when any clip's sound source is not on the allow-list.
        clips_checked = manifest.check_sources(os.path.join(folder, "manifest.jsonl"), allow_list=args.allow_list)
        log(f"sources: {name} {clips_checked} clips, every sound source on the allow-list")
        started = time.time()
        dataset.compute_features(folder, args.features_tool, jobs=args.jobs, log=log)
        log(f"features: {name} ready ({time.time() - started:.0f} s)")

    train = dataset.Split(os.path.join(data, "train"))
    valid = dataset.Split(os.path.join(data, "valid"))
    log(f"data: train {len(train.ids)} clips {train.seconds() / 3600:.2f} h, "
        f"valid {len(valid.ids)} clips {valid.seconds() / 60:.1f} min")

    set_seeds(args.seed)
    architecture = model.ARCHITECTURES[args.arch]
    layers = architecture.layers
    net = model.Network(architecture)
    opt = torch.optim.Adam(net.parameters(), lr=args.lr)
    rng = np.random.default_rng(args.seed)
    params = sum(t.numel() for t in net.parameters())
    log(f"model: {args.arch}, {params} parameters, {model.multiply_adds(layers) / 1e3:.0f} k multiply-adds per frame")

    checkpoint = os.path.join(args.work, "checkpoint.pt")
    state = {"step": 0, "best": None, "best_state": None, "bad": 0, "history": []}
    if args.resume and os.path.exists(checkpoint):
        saved = torch.load(checkpoint)
        net.load_state_dict(saved["model"])
        opt.load_state_dict(saved["optimizer"])
        rng.bit_generator.state = saved["rng"]
        torch.set_rng_state(saved["torch_rng"])
        state = saved["state"]
        log(f"resume: from step {state['step']}")

    def lr_at(step):
        warm = min(1.0, (step + 1) / 100)
        return args.lr * warm * 0.5 * (1 + math.cos(math.pi * min(1.0, step / args.steps)))

    def save():
        state["seconds"] = trained_before + time.time() - started
        save_checkpoint(checkpoint, {"model": net.state_dict(), "optimizer": opt.state_dict(),
                                     "rng": rng.bit_generator.state, "torch_rng": torch.get_rng_state(),
                                     "state": state, "arch": args.arch})

    last_save = time.time()
    started = time.time()
    trained_before = state.get("seconds", 0.0)
    window = []
    default_settings = decode.Settings()
    while state["step"] < args.steps:
        net.train()
        for g in opt.param_groups:
            g["lr"] = lr_at(state["step"])
        x, y = train.batch(rng, args.batch, args.length)
        logits = net(torch.from_numpy(x))
        loss, parts = losses(logits, torch.from_numpy(y), args.event_weight)
        opt.zero_grad()
        loss.backward()
        opt.step()
        window.append((loss.item(),) + parts)
        state["step"] += 1
        step = state["step"]
        if step % 50 == 0 and step % args.eval_every != 0:
            log(f"step {step}: loss {np.mean([w[0] for w in window[-50:]]):.4f} {time.time() - started:.0f} s")
        if step % args.eval_every == 0 or step == args.steps:
            probs = [probabilities(net, f) for f in valid.features]
            # The best of a few onset thresholds, so that early stopping follows
            # the network and not the calibration of its onset outputs.
            r = max((evaluate(probs, valid, decode.Settings(onset=t)) for t in EVAL_ONSETS), key=objective)
            m = np.mean(window, axis=0)
            window = []
            elapsed = time.time() - started
            log(f"step {step}: loss {m[0]:.4f} (onset {m[1]:.4f} sounding {m[2]:.4f} offset {m[3]:.4f} "
                f"velocity {m[4]:.4f}) valid onset F {r['all'][0]:.3f} with offsets {r['all'][1]:.3f} "
                f"(single {r['single'][0]:.3f}, voices {r['poly'][0]:.3f}) "
                f"lr {lr_at(step):.2e} {elapsed:.0f} s")
            state["history"].append({"step": step, "loss": float(m[0]), "f": r["all"][0], "f_off": r["all"][1]})
            if state["best"] is None or objective(r) > state["best"]:
                state["best"] = objective(r)
                state["best_step"] = step
                state["best_state"] = copy.deepcopy(net.state_dict())
                state["bad"] = 0
            else:
                state["bad"] += 1
            save()
            last_save = time.time()
            if state["bad"] >= args.patience:
                log(f"early stop: no improvement for {args.patience} evaluations")
                break
        elif time.time() - last_save >= CHECKPOINT_SECONDS:
            save()
            last_save = time.time()
    log(f"trained: {state['step']} steps, best at step {state.get('best_step')} "
        f"({time.time() - started:.0f} s this session)")

    net.load_state_dict(state["best_state"])
    probs = [probabilities(net, f) for f in valid.features]
    if args.no_tune:
        settings, result = default_settings, evaluate(probs, valid, default_settings)
    else:
        settings, result = tune(probs, valid, log, args.smoke)
    state["seconds"] = trained_before + time.time() - started
    run = {"arch": args.arch, "steps": state["step"], "best_step": state.get("best_step"),
           "batch": args.batch, "length": args.length, "lr": args.lr, "seed": args.seed,
           "data_seed": args.data_seed, "clips": args.clips, "valid_clips": args.valid_clips,
           "training_seconds": round(state["seconds"]), "history": state["history"]}
    torch.save({"model": state["best_state"], "arch": args.arch, "settings": settings.as_dict(),
                "valid": result, "run": run}, os.path.join(args.work, "best.pt"))
    if args.export:
        import export
        export.export(os.path.join(args.work, "best.pt"), args.export, valid, data, log)
    log(f"done: {time.time() - run_started:.0f} s wall in this session")
    return 0


if __name__ == "__main__":
    sys.exit(main())
